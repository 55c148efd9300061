// GIF files through TGIFImage, drawn as opening does. The last byte picks
// more: bit 0 asks for the palette, bit 1 draws a copy made by Assign, bit 2
// writes the image and reads it back, which must give the same frames.

#include <algorithm>
#include <string>
#include <vector>

#include "formats/gif/gif_image.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace scalopex;

// Only frames with pixels are written; the others leave no image behind.
std::vector<const formats::TGIFSubImage*> FramesWithPixels(const formats::TGIFImage& gif)
{
    std::vector<const formats::TGIFSubImage*> frames;
    for (const auto& frame : gif.Images())
        if (!frame->Empty())
            frames.push_back(frame.get());
    return frames;
}

void ExpectRoundTrip(const formats::TGIFImage& gif)
{
    const std::vector<std::uint8_t> written = gif.SaveToBytes();
    formats::TGIFImage reread;
    reread.LoadFromBytes(written);
    const auto before = FramesWithPixels(gif);
    const auto after = FramesWithPixels(reread);
    if (before.size() != after.size())
        fuzz::Finding("a written GIF reads back with " + std::to_string(after.size()) + " frames instead of " +
                      std::to_string(before.size()));
    for (std::size_t i = 0; i < before.size(); ++i) {
        const formats::TGIFSubImage& a = *before[i];
        const formats::TGIFSubImage& b = *after[i];
        if (a.Left() != b.Left() || a.Top() != b.Top() || a.Width() != b.Width() || a.Height() != b.Height())
            fuzz::Finding("frame " + std::to_string(i) + " of a written GIF reads back at another place or size");
        if (!std::ranges::equal(a.Data(), b.Data()))
            fuzz::Finding("frame " + std::to_string(i) + " of a written GIF reads back with other pixels");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::Bytes bytes(data, size);
    const std::uint8_t options = fuzz::OptionByte(bytes);
    fuzz::Run([&] {
        const formats::TFormatDescriptor& gifFormat = fuzz::FormatNamed("GIF");
        fuzz::Recognises(gifFormat, bytes);
        formats::TGIFImage gif;
        gif.OnWarning = [](const std::string&) {};
        fuzz::LoadFrom(gif, bytes);
        if (options & 1)
            gif.Palette();
        fuzz::DrawAsOpened(gif);
        if (options & 2) {
            formats::TGIFImage copy;
            copy.Assign(&gif);
            fuzz::DrawAsOpened(copy);
        }
        if (options & 4)
            ExpectRoundTrip(gif);
    });
    return 0;
}
