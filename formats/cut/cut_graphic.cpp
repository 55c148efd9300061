// Cut files, little-endian: width, height, a reserved word, then one
// run-length row record per row, top row first. Their colours come from a
// palette file: a 40-byte header ("AH", the highest palette index at offset
// 12), then entries of three 16-bit values (red, green, blue; the low bytes
// are the colour), read in blocks of 512 bytes that no entry straddles.
// Without a palette file, or with a file that is no palette, the pixels
// show as grey levels equal to their indices. Rows the file ends before
// keep index 0.

#include "formats/cut/cut_graphic.h"

#include <algorithm>
#include <array>

#include "base/exceptions.h"
#include "base/paths.h"
#include "core/stream.h"
#include "formats/cut/cut_rle.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TCUTGraphic, TReaderGraphic)

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kHighestIndexOffset = 12;

gdi::TLogPalette GreyRamp()
{
    gdi::TLogPalette palette(256);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        palette[i] = {v, v, v, 0};
    }
    return palette;
}

}  // namespace

namespace cut {

std::optional<gdi::TLogPalette> ReadPalette(std::span<const std::uint8_t> file)
{
    if (file.size() < kPaletteHeaderSize || file[0] != 'A' || file[1] != 'H')
        return std::nullopt;
    base::ByteCursor in(file);
    in.seek(kHighestIndexOffset);
    const std::size_t entries = std::min<std::size_t>(std::size_t{in.u16le()} + 1, gdi::kMaxPaletteEntries);
    gdi::TLogPalette palette(entries);
    std::size_t block = 0;
    std::size_t at = kPaletteHeaderSize;  // within the block
    for (gdi::TPaletteEntry& e : palette) {
        if (at > kBlockSize - kEntrySize) {
            ++block;
            at = 0;
        }
        in.seek(std::min(block * kBlockSize + at, file.size()));
        e.peRed = static_cast<std::uint8_t>(in.u16le());
        e.peGreen = static_cast<std::uint8_t>(in.u16le());
        e.peBlue = static_cast<std::uint8_t>(in.u16le());
        at += kEntrySize;
    }
    return palette;
}

std::string FindPaletteFile(const std::string& paletteName)
{
    if (paletteName.empty())
        return {};
    if (base::FileExists(paletteName))
        return paletteName;
    // File names are compared exactly here: the same name in upper case.
    const std::string upper = base::ChangeFileExt(paletteName, ".PAL");
    return base::FileExists(upper) ? upper : std::string();
}

}  // namespace cut

bool IsCUT(std::span<const std::uint8_t>) noexcept
{
    return false;
}

void TCUTGraphic::LoadFromFile(const std::string& path)
{
    m_paletteFile = base::ChangeFileExt(path, ".pal");
    TReaderGraphic::LoadFromFile(path);
}

bool TCUTGraphic::CanLoadStream(core::TStream&) const
{
    return false;
}

bool TCUTGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    TImageProperties& d = ImageDescription;
    d.ImageWidth = input.u16le();
    d.ImageHeight = input.u16le();
    d.Scheme = ColorScheme::Indexed;
    d.SampleCount = 1;
    d.SampleBits = 8;
    d.PixelBits = 8;
    d.Compression = CompressionKind::RLE;
    return true;
}

TRasterPlan TCUTGraphic::ReadHeader(base::ByteCursor& input)
{
    base::ByteCursor description = input;
    ParseImageDescription(description, 0);
    input.skip(kHeaderSize);

    std::optional<gdi::TLogPalette> palette;
    if (const std::string path = cut::FindPaletteFile(m_paletteFile); !path.empty()) {
        core::TFileStream file(path, core::TFileStream::Mode::OpenRead);
        std::array<std::uint8_t, cut::kMaxPaletteFileBytes> bytes{};
        std::size_t got = 0;
        while (got < bytes.size()) {
            const std::size_t n = file.Read(bytes.data() + got, bytes.size() - got);
            if (n == 0)
                break;
            got += n;
        }
        palette = cut::ReadPalette({bytes.data(), got});
    }

    TRasterPlan plan;
    plan.palette = palette ? std::move(*palette) : GreyRamp();
    const gdi::TPaletteEntry& first = plan.palette->front();
    plan.fill.color = core::RGB(first.peRed, first.peGreen, first.peBlue);
    plan.prefill = true;  // rows may end early: every pixel starts as index 0
    plan.pixelFormat = core::pf8bit;
    plan.width = ImageDescription.ImageWidth;
    plan.height = ImageDescription.ImageHeight;
    return plan;
}

void TCUTGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    if (sink.Width() == 0)
        return;
    TCUTRowDecoder decoder;
    decoder.StartDecoding();
    for (int y = 0; y < sink.Height() && !input.atEnd(); ++y)
        decoder.Decode(input, sink.Row(y));
    decoder.FinishDecoding();
}

}  // namespace scalopex::formats
