// BMP file images: file header, info header (12-byte core, 40-byte and
// larger forms such as 52, 56, 64, 108 and 124 bytes), optional colour masks,
// colour table (also optional on 16, 24 and 32 bits), then the pixels,
// uncompressed, with bitfields, or RLE8 / RLE4. Rejected: other compressions
// (embedded JPEG or PNG, Huffman, RLE24), planes other than 1, colour tables
// of more than 256 entries, widths below 1, top-down RLE, rasters beyond the
// engine's limits. Data cut short in the pixels reads as zero. A 16- or
// 32-bit file whose header (56 bytes and more) gives an alpha mask is read
// with that alpha. bfOffBits is trusted only past the headers: after the
// table it skips a gap, inside a table whose size the header leaves implied
// it ends the table there.

#include "core/bmp_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/byte_cursor.h"
#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/limits.h"
#include "platform/gdi/rle.h"

namespace scalopex::core::bmp {

namespace {

constexpr std::uint16_t kSignature = 0x4D42;  // "BM"
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kCoreHeaderSize = 12;

[[noreturn]] void Invalid()
{
    throw base::EInvalidGraphic(base::kSInvalidBitmap);
}

struct InfoHeader {
    std::uint32_t size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // negative: rows stored top-down
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
    std::uint32_t masks[3] = {0, 0, 0};
    std::uint32_t alphaMask = 0;  // from headers of 56 bytes and more
    bool core = false;
};

InfoHeader ReadInfoHeader(base::ByteCursor& in)
{
    InfoHeader h;
    h.size = in.u32le();
    if (h.size == kCoreHeaderSize) {
        // The core header is widened into a 40-byte one: unsigned sizes,
        // always bottom-up, never compressed.
        h.core = true;
        h.width = in.u16le();
        h.height = in.u16le();
        h.planes = in.u16le();
        h.bitCount = in.u16le();
        return h;
    }
    if (h.size < kInfoHeaderSize)
        Invalid();
    base::ByteCursor body = in.sub(h.size - 4);
    h.width = body.i32le();
    h.height = body.i32le();
    h.planes = body.u16le();
    h.bitCount = body.u16le();
    h.compression = body.u32le();
    h.sizeImage = body.u32le();
    h.xPelsPerMeter = body.i32le();
    h.yPelsPerMeter = body.i32le();
    h.clrUsed = body.u32le();
    h.clrImportant = body.u32le();
    // Headers of 52 bytes and more carry the masks themselves.
    if (h.size >= 52) {
        h.masks[0] = body.u32le();
        h.masks[1] = body.u32le();
        h.masks[2] = body.u32le();
    }
    if (h.size >= 56)
        h.alphaMask = body.u32le();
    return h;
}

// The bits of mask in px, scaled to 0..255.
std::uint8_t MaskedValue(std::uint32_t px, std::uint32_t mask)
{
    const unsigned shift = static_cast<unsigned>(__builtin_ctz(mask));
    const std::uint64_t max = mask >> shift;
    const std::uint64_t v = (px & mask) >> shift;
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

// A 16- or 32-bit raster whose header gives an alpha mask, as a 32-bit
// raster with that alpha, composited when drawn. Null when every pixel's
// alpha is 0: many writers fill the mask but not the alpha, and such a file
// means an opaque picture.
std::unique_ptr<TBitmapImage> WithAlpha(const TBitmapImage& image, std::uint32_t alphaMask)
{
    auto out = std::make_unique<TBitmapImage>();
    out->CopyDescription(image);
    out->bitCount = 32;
    out->compression = BI_RGB;
    std::memset(out->masks, 0, sizeof out->masks);
    out->palette = image.palette;
    out->Allocate(image.width, image.height);
    const std::size_t bytesPerPixel = image.bitCount / 8u;
    bool anyAlpha = false;
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* bgra = out->Row(y);
        UnpackRow(image, image.Row(y), image.width, bgra);
        base::ByteCursor pixels({image.Row(y), static_cast<std::size_t>(image.width) * bytesPerPixel});
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t px = bytesPerPixel == 4 ? pixels.u32le() : pixels.u16le();
            const std::uint8_t alpha = MaskedValue(px, alphaMask);
            bgra[4 * x + 3] = alpha;
            anyAlpha = anyAlpha || alpha != 0;
        }
    }
    if (!anyAlpha)
        return nullptr;
    out->hasAlpha = true;
    return out;
}

bool ValidLayout(const InfoHeader& h)
{
    switch (h.compression) {
    case BI_RGB:
        return h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 || h.bitCount == 16 || h.bitCount == 24 ||
               h.bitCount == 32;
    case BI_BITFIELDS: return h.bitCount == 16 || h.bitCount == 32;
    case BI_RLE8: return h.bitCount == 8 && h.height > 0;
    case BI_RLE4: return h.bitCount == 4 && h.height > 0;
    default: return false;
    }
}

}  // namespace

std::unique_ptr<TBitmapImage> Read(std::span<const std::uint8_t> file)
{
    auto image = std::make_unique<TBitmapImage>();
    if (file.empty()) {
        image->palette.clear();
        return image;
    }
    base::ByteCursor in(file);
    base::ByteCursor fileHeader = in.sub(kFileHeaderSize);
    if (fileHeader.u16le() != kSignature)
        Invalid();
    fileHeader.skip(8);
    const std::uint32_t offBits = fileHeader.u32le();

    InfoHeader h = ReadInfoHeader(in);
    if (h.planes != 1)
        Invalid();
    if (h.size == kInfoHeaderSize && (h.bitCount == 16 || h.bitCount == 32) && h.compression == BI_BITFIELDS) {
        h.masks[0] = in.u32le();
        h.masks[1] = in.u32le();
        h.masks[2] = in.u32le();
    }
    if (!ValidLayout(h) || h.width <= 0 || h.height == 0)
        Invalid();

    // Colour table: clrUsed entries, or the full table for 1, 4 and 8 bits.
    std::uint32_t colors = h.clrUsed;
    if (colors > gdi::kMaxPaletteEntries)
        Invalid();
    const std::size_t entrySize = h.core ? 3 : 4;
    const std::size_t tableStart = in.position();
    if (colors == 0 && h.bitCount <= 8) {
        colors = 1u << h.bitCount;
        // A file that cannot or does not give its table size but starts its
        // pixels inside the full table has a shorter table (seen in core
        // header files); an offset into the headers is not trusted.
        if (offBits > tableStart && offBits < tableStart + colors * entrySize && (offBits - tableStart) % entrySize == 0)
            colors = static_cast<std::uint32_t>((offBits - tableStart) / entrySize);
    }
    base::ByteCursor table = in.sub(colors * entrySize);
    image->palette.resize(colors);
    for (gdi::TPaletteEntry& e : image->palette) {
        e.peBlue = table.u8();
        e.peGreen = table.u8();
        e.peRed = table.u8();
        e.peFlags = 0;
        if (!h.core)
            table.skip(1);
    }

    // Pixel data normally follows the table; a gap announced by bfOffBits is
    // skipped when the offset lies between the end of the table and the end
    // of the file (an offset into the headers is not trusted).
    if (offBits > in.position() && offBits < file.size())
        in.seek(offBits);

    const std::int64_t height = h.height < 0 ? -h.height : h.height;
    const bool topDown = h.height < 0;
    image->bitCount = h.bitCount;
    image->xPelsPerMeter = h.xPelsPerMeter;
    image->yPelsPerMeter = h.yPelsPerMeter;
    image->clrUsed = h.clrUsed;
    image->clrImportant = h.clrImportant;
    base::CheckImageHeader({.width = h.width, .height = height, .bitsPerPixel = h.bitCount});
    const auto width = static_cast<std::int32_t>(h.width);
    const auto rows = static_cast<std::int32_t>(height);

    if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
        // Decoded into 8-bit indices; pixels the data never sets are index 0.
        image->bitCount = 8;
        image->compression = BI_RGB;
        image->Allocate(width, rows);
        std::memset(image->bits.get(), 0, image->ImageBytes());
        const std::size_t take = h.sizeImage != 0 && h.sizeImage < in.remaining() ? h.sizeImage : in.remaining();
        base::ByteCursor packed = in.sub(take);
        gdi::TBmpRLEDecoder decoder(h.bitCount, width, rows, image->stride);
        decoder.StartDecoding();
        decoder.Decode(packed, {image->bits.get(), image->ImageBytes()});  // bad data throws "Bitmap image is not valid"
        decoder.FinishDecoding();
        // The data is stored bottom-up; the raster's rows run from the top.
        for (int k = 0; k < rows / 2; ++k)
            std::swap_ranges(image->Row(k), image->Row(k) + image->stride, image->Row(rows - 1 - k));
        return image;
    }

    image->compression = h.compression;
    if (h.compression == BI_BITFIELDS) {
        std::memcpy(image->masks, h.masks, sizeof h.masks);
        if (h.masks[0] == 0 && h.masks[1] == 0 && h.masks[2] == 0) {
            // No masks given: the format's defaults.
            image->compression = BI_RGB;
            std::memset(image->masks, 0, sizeof image->masks);
        }
    }
    image->Allocate(width, rows);
    std::memset(image->bits.get(), 0, image->ImageBytes());
    // Uncompressed rows, first stored row first; rows the file does not hold
    // stay zero.
    std::size_t sizeImage = h.sizeImage != 0 ? h.sizeImage : image->ImageBytes();
    base::ByteCursor pixels = in.sub(sizeImage < in.remaining() ? sizeImage : in.remaining());
    for (int k = 0; k < rows && !pixels.atEnd(); ++k) {
        const std::span<const std::uint8_t> row = pixels.bytesUpTo(image->stride);
        std::memcpy(image->Row(topDown ? k : rows - 1 - k), row.data(), row.size());
    }
    if (h.alphaMask != 0 && (h.bitCount == 16 || h.bitCount == 32))
        if (std::unique_ptr<TBitmapImage> alpha = WithAlpha(*image, h.alphaMask))
            return alpha;
    return image;
}

void Write(const TBitmapImage& image, TStream& stream)
{
    if (image.Empty())
        return;
    const std::uint32_t bits = image.bitCount;
    const std::size_t imageSize = image.ImageBytes();

    // Colour table: the raster's own for 8 bits or fewer, lowered to clrUsed
    // (a raster without one gets a black table); above 8 bits an attached
    // palette is written as an optional table.
    std::uint32_t colors = 0;
    gdi::TLogPalette blackTable;
    const gdi::TLogPalette* table = &image.palette;
    if (bits <= 8) {
        colors = static_cast<std::uint32_t>(image.palette.size());
        if (image.clrUsed != 0 && image.clrUsed < colors)
            colors = image.clrUsed;
        if (colors == 0) {
            blackTable.assign(std::size_t{1} << bits, gdi::TPaletteEntry{});
            table = &blackTable;
            colors = static_cast<std::uint32_t>(blackTable.size());
        }
    } else if (!image.palette.empty() && !image.ownHalftonePalette) {
        colors = static_cast<std::uint32_t>(std::min(image.palette.size(), gdi::kMaxPaletteEntries));
    }
    const bool withMasks = bits > 8 && (image.compression & 3) != 0;
    std::uint32_t masks[3] = {image.masks[0], image.masks[1], image.masks[2]};
    // Only a raster without any mask takes the defaults: a zero red mask
    // beside others means no red, and must be written as it is.
    if (withMasks && masks[0] == 0 && masks[1] == 0 && masks[2] == 0) {
        if (bits == 16) {
            masks[0] = 0xF800;
            masks[1] = 0x07E0;
            masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000;
            masks[1] = 0xFF00;
            masks[2] = 0xFF;
        }
    }
    const std::uint32_t clrUsed = colors != 0 ? colors : image.clrUsed;
    const std::size_t headerSize = kInfoHeaderSize + (withMasks ? 12 : 0) + 4 * colors;
    const std::size_t fileSize = base::checkedAdd(kFileHeaderSize + headerSize, imageSize);

    std::vector<std::uint8_t> head;
    head.reserve(kFileHeaderSize + headerSize);
    auto u16 = [&](std::uint32_t v) {
        head.push_back(static_cast<std::uint8_t>(v));
        head.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    u16(kSignature);
    u32(static_cast<std::uint32_t>(fileSize));
    u16(0);
    u16(0);
    u32(static_cast<std::uint32_t>(kFileHeaderSize + headerSize));
    u32(kInfoHeaderSize);
    u32(static_cast<std::uint32_t>(image.width));
    u32(static_cast<std::uint32_t>(image.height));
    u16(1);
    u16(bits);
    u32(image.compression);
    u32(static_cast<std::uint32_t>(imageSize));
    u32(static_cast<std::uint32_t>(image.xPelsPerMeter));
    u32(static_cast<std::uint32_t>(image.yPelsPerMeter));
    u32(clrUsed);
    u32(image.clrImportant);
    if (withMasks)
        for (std::uint32_t m : masks)
            u32(m);
    for (std::uint32_t i = 0; i < colors; ++i) {
        const gdi::TPaletteEntry& e = (*table)[i];
        head.insert(head.end(), {e.peBlue, e.peGreen, e.peRed, 0});
    }
    stream.ExpectWrite(fileSize);
    stream.WriteBuffer(head);
    // Rows bottom-up, gathered into large blocks to keep writes few.
    constexpr std::size_t kBlock = 1 << 20;
    std::vector<std::uint8_t> block;
    block.reserve(std::min(imageSize, kBlock + image.stride));
    for (int y = image.height - 1; y >= 0; --y) {
        block.insert(block.end(), image.Row(y), image.Row(y) + image.stride);
        if (block.size() >= kBlock || y == 0) {
            stream.WriteBuffer(block);
            block.clear();
        }
    }
}

}  // namespace scalopex::core::bmp
