// Autodesk cel and picture files, little-endian: magic 0x9119, width,
// height, x and y offset (not used), bits per pixel, compression, 20 bytes
// not used; 256 palette entries of red, green and blue in 0..63; then one
// byte per pixel, top row first. A file that ends inside the pixels leaves
// the rest as a new raster is: index 0.

#include "formats/autodesk/autodesk_graphic.h"

#include <cstring>

#include "base/exceptions.h"
#include "core/stream.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TAutodeskGraphic, TReaderGraphic)

namespace {

constexpr const char* kShortName = "Autodesk";

}  // namespace

bool IsAutodesk(std::span<const std::uint8_t> start) noexcept
{
    return start.size() > autodesk::kHeaderSize && (start[0] | (start[1] << 8)) == autodesk::kMagic && start[10] == 8 &&
           start[11] == 0;
}

bool TAutodeskGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[autodesk::kHeaderSize + 1];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return IsAutodesk({bytes, got});
}

bool TAutodeskGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    if (input.u16le() != autodesk::kMagic)
        return false;
    TImageProperties& d = ImageDescription;
    d.ImageWidth = input.u16le();
    d.ImageHeight = input.u16le();
    d.Scheme = ColorScheme::Indexed;
    d.SampleCount = 1;
    d.SampleBits = 8;
    d.PixelBits = 8;
    d.Compression = CompressionKind::None;
    return true;
}

TRasterPlan TAutodeskGraphic::ReadHeader(base::ByteCursor& input)
{
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0))
        throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kShortName));
    input.skip(autodesk::kHeaderSize);
    const std::span<const std::uint8_t> components = input.bytes(autodesk::kPaletteSize);

    TRasterPlan plan;
    gdi::TLogPalette palette(256);
    for (std::size_t k = 0; k < palette.size(); ++k)
        palette[k] = {static_cast<std::uint8_t>(components[3 * k] << 2),
                      static_cast<std::uint8_t>(components[3 * k + 1] << 2),
                      static_cast<std::uint8_t>(components[3 * k + 2] << 2), 0};
    plan.fill.color = core::RGB(palette[0].peRed, palette[0].peGreen, palette[0].peBlue);
    plan.palette = std::move(palette);
    plan.pixelFormat = core::pf8bit;
    plan.width = ImageDescription.ImageWidth;
    plan.height = ImageDescription.ImageHeight;
    // Rows may end early: every pixel starts as index 0.
    plan.prefill = true;
    return plan;
}

void TAutodeskGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    const std::size_t width = static_cast<std::size_t>(sink.Width());
    if (width == 0)
        return;
    for (int y = 0; y < sink.Height() && !input.atEnd(); ++y) {
        const std::span<const std::uint8_t> row = input.bytesUpTo(width);
        std::memcpy(sink.Row(y).data(), row.data(), row.size());
    }
}

}  // namespace scalopex::formats
