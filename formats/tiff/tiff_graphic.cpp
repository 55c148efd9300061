// TIFF files (TIFF 6.0, with 64-bit offsets as the "BigTIFF" variant has
// them): the first image of the file. Its IFD gives the layout; strips or
// tiles are decoded one at a time into a buffer of their decoded size and
// their rows converted into the raster through the colour manager, one
// source row per plane when the samples lie in separate planes. Offsets
// count from the start of the TIFF data. Layouts a hostile file can give
// (offsets and byte counts beyond the data, too many strips, rows per strip
// of 0 or beyond the image) are read as far as the data go; rows no data
// reach keep the fill.

#include "formats/tiff/tiff_graphic.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/limits.h"
#include "core/stream.h"
#include "formats/common/ccitt.h"
#include "formats/common/lz77.h"
#include "formats/common/lzw.h"
#include "formats/common/packbits.h"
#include "formats/tiff/thunder.h"
#include "formats/tiff/tiff_jpeg.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TTIFFGraphic, TReaderGraphic)

namespace {

constexpr const char* kSUnsupportedFeature = "Cannot load image. %s not supported for %s files.";
constexpr const char* kSCompressionScheme = "The compression scheme is";

[[noreturn]] void FailInvalid()
{
    throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kSTiffName));
}

[[noreturn]] void FailUnsupported()
{
    throw base::EInvalidGraphic(base::Format(kSUnsupportedFeature, kSCompressionScheme, kSTiffName));
}

CompressionKind KindOf(std::uint64_t compression)
{
    switch (compression) {
    case 1:
        return CompressionKind::None;
    case 2:
        return CompressionKind::Fax3Huffman;
    case 3:
        return CompressionKind::Fax3;
    case 4:
        return CompressionKind::Fax4;
    case 5:
        return CompressionKind::LZW;
    case 6:
        return CompressionKind::OldJPEG;
    case 7:
        return CompressionKind::JPEG;
    case 8:
    case 32946:
        return CompressionKind::LZ77;
    case 32766:
        return CompressionKind::NeXT;
    case 32771:
        return CompressionKind::HuffmanWordAligned;
    case 32773:
        return CompressionKind::PackedBits;
    case 32809:
        return CompressionKind::ThunderScan;
    case 32895:
        return CompressionKind::IT8CTPad;
    case 32896:
        return CompressionKind::IT8LW;
    case 32897:
        return CompressionKind::IT8MP;
    case 32898:
        return CompressionKind::IT8BL;
    case 32908:
        return CompressionKind::PixarFilm;
    case 32909:
        return CompressionKind::PixarLog;
    case 32947:
        return CompressionKind::DCS;
    case 34661:
        return CompressionKind::JBIG;
    default:
        return CompressionKind::Unknown;
    }
}

ColorScheme SchemeOf(std::uint64_t photometric, std::uint64_t samples)
{
    switch (photometric) {
    case 0:
    case 1:
        return ColorScheme::Gray;
    case 2:
        return samples < 4 ? ColorScheme::RGB : ColorScheme::RGBA;
    case 3:
        return ColorScheme::Indexed;
    case 5:
        return ColorScheme::CMYK;
    case 6:
        return ColorScheme::YCbCr;
    case 8:
        return ColorScheme::CIELab;
    default:
        return ColorScheme::Unknown;
    }
}

std::uint8_t ByteField(std::uint64_t v)
{
    return static_cast<std::uint8_t>(std::min<std::uint64_t>(v, 255));
}

std::int32_t SideField(std::uint64_t v)
{
    return static_cast<std::int32_t>(std::min<std::uint64_t>(v, 0x7FFFFFFF));
}

std::uint8_t ReversedBits(std::uint8_t b)
{
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// Fields of 1 to 32 bits, most significant bit first, from a row of samples.
class TBitFields {
public:
    TBitFields(std::span<const std::uint8_t> bytes, unsigned bits) : m_cursor(bytes), m_bits(bits) {}
    std::uint32_t Next()
    {
        while (m_have < m_bits) {
            m_acc = (m_acc << 8) | m_cursor.u8();
            m_have += 8;
        }
        m_have -= m_bits;
        return static_cast<std::uint32_t>((m_acc >> m_have) & ((std::uint64_t{1} << m_bits) - 1));
    }

private:
    base::ByteCursor m_cursor;
    unsigned m_bits;
    std::uint64_t m_acc = 0;
    unsigned m_have = 0;
};

std::uint64_t Load(const std::uint8_t* p, unsigned bytes, bool bigEndian)
{
    std::uint64_t v = 0;
    for (unsigned i = 0; i < bytes; ++i)
        v |= std::uint64_t{p[bigEndian ? i : bytes - 1 - i]} << (8 * (bytes - 1 - i));
    return v;
}

void Store(std::uint8_t* p, unsigned bytes, bool bigEndian, std::uint64_t v)
{
    for (unsigned i = 0; i < bytes; ++i)
        p[bigEndian ? bytes - 1 - i : i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Horizontal differencing undone on one row: every sample gets the one a
// pixel earlier added, at its own size and in the file's byte order.
void UndoPredictor(std::uint8_t* row, std::size_t pixels, unsigned samples, unsigned bits, bool bigEndian)
{
    const std::size_t count = pixels * samples;
    if (count <= samples)
        return;
    if (bits == 8) {
        for (std::size_t i = samples; i < count; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - samples]);
        return;
    }
    if (bits != 16 && bits != 32 && bits != 64)
        return;
    const unsigned bytes = bits / 8;
    const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    for (std::size_t i = samples; i < count; ++i) {
        std::uint8_t* p = row + i * bytes;
        Store(p, bytes, bigEndian, (Load(p, bytes, bigEndian) + Load(p - samples * bytes, bytes, bigEndian)) & mask);
    }
}

}  // namespace

namespace tiff {

/// How a decoded row reaches the colour manager.
enum class TRowStage {
    Direct,      // as it is
    Swap16,      // big-endian 16-bit samples for a routine that reads them little-endian
    Expand,      // samples of another size (or floating point) to 8 bits
    Palette,     // indices looked up in the whole colour map, into 24-bit pixels
    YCbCrUnits,  // subsampled YCbCr data units to one Y, Cb, Cr triple per pixel
};

/// One load: the layout the IFD gives, the colour set-up, the decoder, and
/// the block loop.
class TTiffLoad {
public:
    TTiffLoad(std::span<const std::uint8_t> data, const THeader& header, const TDirectory& dir,
              const TImageProperties& d, TColorManager& cm)
        : m_data(data), m_header(header), m_dir(dir), m_d(d), m_cm(cm)
    {}

    TRasterPlan Plan();
    void Decode(TRowSink& sink);
    bool RealAlpha() const { return m_realAlpha; }

private:
    void SetUpColor(TRasterPlan& plan);
    void SetUpPalette(TRasterPlan& plan);
    void SetUpLayout(TRasterPlan& plan);
    void SetUpDecoder();

    struct TBlock {
        std::span<const std::uint8_t> bytes;
        std::size_t units = 0;  // decoded rows (data units for subsampled YCbCr)
    };
    TBlock ReadBlock(std::size_t index, std::size_t units, int width, int rows, std::size_t rowBytes,
                     std::vector<std::uint8_t>& buffer);
    void DecodeStrips(TRowSink& sink);
    void DecodeTiles(TRowSink& sink);
    // Converts the unit row at image row y, covering rows image rows.
    void EmitUnit(TRowSink& sink, int y, int rows, std::span<const std::span<const std::uint8_t>> planes);
    void ExpandSamples(std::span<const std::uint8_t> source, std::size_t count, std::vector<std::uint8_t>& out) const;
    void PaletteRow(std::span<const std::uint8_t> source, std::span<std::uint8_t> target) const;
    void Unpremultiply(std::span<std::uint8_t> row) const;

    std::span<const std::uint8_t> m_data;
    THeader m_header;
    const TDirectory& m_dir;
    const TImageProperties& m_d;
    TColorManager& m_cm;

    int m_width = 0;
    int m_height = 0;
    unsigned m_bits = 0;
    unsigned m_samples = 0;
    unsigned m_planes = 1;        // 1, or the sample count for separate planes
    unsigned m_planeSamples = 0;  // samples per pixel in one plane
    std::uint64_t m_sampleFormat = 1;
    bool m_bigEndian = false;
    std::uint64_t m_compression = 1;
    bool m_predictor = false;
    bool m_reverseRaw = false;          // raw samples stored with the reversed bit order (fill order 2)
    bool m_reverseInput = false;        // packed data stored so, for decoders that do not reverse them
    std::vector<std::uint8_t> m_input;  // the packed data of a block with its bits reversed

    TRowStage m_stage = TRowStage::Direct;
    bool m_unpremultiply = false;
    bool m_realAlpha = false;
    std::vector<std::uint8_t> m_paletteBGR;  // the Palette stage's colours
    unsigned m_unitH = 1;                    // YCbCr subsampling
    unsigned m_unitV = 1;

    bool m_tiled = false;
    int m_blockWidth = 0;            // tile width, or the image width for strips
    int m_blockHeight = 0;           // tile length (strips vary)
    std::size_t m_rowBytes = 0;      // of one block row (or data unit row)
    std::size_t m_bandRowBytes = 0;  // of one image-wide row of a tile band
    std::vector<std::uint64_t> m_offsets;
    std::vector<std::uint64_t> m_counts;
    std::vector<std::uint64_t> m_rowsPerStrip;

    std::unique_ptr<base::TDecoder> m_decoder;
    TTIFFJPEGDecoder* m_jpeg = nullptr;
    std::vector<std::vector<std::uint8_t>> m_blockBuffers;
    std::vector<std::vector<std::uint8_t>> m_bands;
    std::vector<std::vector<std::uint8_t>> m_scratch;
};

TRasterPlan TTiffLoad::Plan()
{
    m_width = m_d.ImageWidth;
    m_height = m_d.ImageHeight;
    m_bits = m_d.SampleBits;
    m_samples = m_d.SampleCount;
    m_bigEndian = m_header.order == base::ByteOrder::BigEndian;
    m_compression = m_dir.Integer(kCompression, 1);  // a file without the tag is uncompressed
    m_sampleFormat = m_dir.Integer(kSampleFormat, 1);
    // Only the value 2 separates the planes; a missing tag means contiguous samples.
    m_planes = m_dir.Integer(kPlanarConfiguration, 1) == 2 && m_samples > 1 ? m_samples : 1;
    m_planeSamples = m_planes > 1 ? 1 : m_samples;

    TRasterPlan plan;
    SetUpColor(plan);
    plan.width = m_width;
    plan.height = m_height;
    if (m_width <= 0 || m_height <= 0)
        FailInvalid();
    SetUpPalette(plan);
    SetUpLayout(plan);
    SetUpDecoder();
    return plan;
}

void TTiffLoad::SetUpColor(TRasterPlan& plan)
{
    const ColorScheme scheme = m_d.Scheme;
    const unsigned bits = m_bits;
    const bool jpeg = m_d.Compression == CompressionKind::JPEG;
    const bool floating = m_sampleFormat == 3;
    if (bits == 0 || bits > 64)
        throw EColorConversionError(kSInvalidColorDepth);

    // Colour schemes need their samples: a file that declares fewer (or
    // whose sample tags were cut off) has rows too short for its scheme.
    const unsigned needed =
        scheme == ColorScheme::CMYK || scheme == ColorScheme::RGBA                                      ? 4
        : (scheme == ColorScheme::RGB || scheme == ColorScheme::YCbCr || scheme == ColorScheme::CIELab) ? 3
                                                                                                        : 1;
    if (m_samples < needed)
        throw EColorConversionError(kSInvalidSampleCount);

    ColorScheme source = scheme;
    ColorScheme target = scheme;
    unsigned targetSamples = m_samples;
    bool planarColour = false;
    switch (scheme) {
    case ColorScheme::Indexed: {
        const bool plain = m_samples == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
        if (m_samples == 2 && bits == 8) {
            source = ColorScheme::GrayAlpha;  // the index, then its extra sample
        } else if (!plain) {
            // Indices beyond 8 bits, of odd sizes, or with extra samples look
            // their colours up in the whole colour map.
            if (bits > 16)
                throw EColorConversionError(kSInvalidColorDepth);
            m_stage = TRowStage::Palette;
        }
        break;
    }
    case ColorScheme::Gray:
        if (m_samples == 2) {
            source = ColorScheme::GrayAlpha;  // grey and its extra sample: shown grey
            targetSamples = 1;
        } else if (m_samples > 2) {
            throw EColorConversionError(kSInvalidSampleCount);
        }
        target = ColorScheme::Gray;
        if (bits > 16 || floating || (source == ColorScheme::GrayAlpha && bits != 8 && bits != 16))
            m_stage = TRowStage::Expand;
        break;
    case ColorScheme::RGB:
    case ColorScheme::RGBA:
        target = scheme == ColorScheme::RGB ? ColorScheme::BGR : ColorScheme::BGRA;
        planarColour = true;
        break;
    case ColorScheme::CMYK:
        target = ColorScheme::BGR;
        targetSamples = 3;
        planarColour = true;
        break;
    case ColorScheme::CIELab:
    case ColorScheme::YCbCr:
        target = ColorScheme::BGR;
        planarColour = true;
        break;
    default:
        break;
    }
    // The JPEG decoder delivers three-component colour blue, green, red.
    const bool jpegBGR =
        jpeg && m_planes == 1 && m_samples == 3 && (scheme == ColorScheme::RGB || scheme == ColorScheme::YCbCr);
    if (jpegBGR)
        source = ColorScheme::BGR;
    if (planarColour && (floating || (bits != 8 && bits != 16)))
        m_stage = TRowStage::Expand;

    // YCbCr without JPEG: subsampled data come in data units.
    if (scheme == ColorScheme::YCbCr) {
        const std::vector<double> given = m_dir.Reals(kYCbCrCoefficients);
        std::array<float, 3> coefficients = {0.299f, 0.587f, 0.114f};
        for (std::size_t i = 0; i < std::min<std::size_t>(given.size(), 3); ++i)
            coefficients[i] = static_cast<float>(given[i]);
        const std::vector<std::uint8_t> sub = m_dir.Bytes(kYCbCrSubSampling);
        const std::uint8_t h = sub.size() > 0 ? sub[0] : 2;
        const std::uint8_t v = sub.size() > 1 ? sub[1] : 2;
        m_cm.SetYCbCrValues(coefficients, h, v);
        if (!jpeg && (h != 1 || v != 1) && m_planes == 1 && bits == 8 && m_stage == TRowStage::Direct) {
            m_stage = TRowStage::YCbCrUnits;
            m_unitH = h;
            m_unitV = v;
        }
    }

    const bool expanded = m_stage == TRowStage::Expand;
    const unsigned sourceBits = expanded ? 8 : (m_stage == TRowStage::Palette ? 8 : bits);
    unsigned targetBits = sourceBits == 16 ? 8 : (sourceBits == 2 ? 4 : sourceBits);
    if (target == ColorScheme::Gray && targetBits != 1 && targetBits != 4 && targetBits != 8)
        targetBits = 8;  // grey of odd sizes is scaled to 8 bits
    // Routines that read 16-bit samples little-endian get big-endian rows swapped first.
    const bool honoursSwap =
        source != ColorScheme::CMYK && source != ColorScheme::CIELab && source != ColorScheme::YCbCr;
    if (m_bigEndian && sourceBits == 16 && !honoursSwap && m_stage == TRowStage::Direct)
        m_stage = TRowStage::Swap16;

    if (m_stage == TRowStage::Palette) {
        plan.pixelFormat = core::pf24bit;
        return;
    }
    m_cm.SourceFlags = (m_bigEndian && m_stage == TRowStage::Direct) ? cfSwapBytes16 : 0;
    m_cm.TargetFlags = 0;
    m_cm.SetSourceSampleBits(static_cast<std::uint8_t>(sourceBits));
    m_cm.SetTargetSampleBits(static_cast<std::uint8_t>(targetBits));
    m_cm.SetSourceScheme(source);
    m_cm.SetTargetScheme(target);
    m_cm.SetSourceSamples(ByteField(m_samples));
    m_cm.SetTargetSamples(ByteField(targetSamples));
    if (scheme == ColorScheme::CIELab)
        m_cm.SourceFlags |= cfLabLightnessByteRange;
    plan.pixelFormat =
        source == ColorScheme::GrayAlpha ? core::pf8bit : m_cm.PixelFormatOf(TColorManager::Side::Target);

    if (target == ColorScheme::BGRA && m_d.HasAlphaChannel) {
        const std::vector<std::uint8_t>& extra = m_d.Extra;
        m_unpremultiply = extra.front() == 1;
        m_realAlpha = extra.front() == 1 || extra.front() == 2;
    }
}

void TTiffLoad::SetUpPalette(TRasterPlan& plan)
{
    const std::vector<std::uint64_t> map = m_dir.Integers(kColorMap);
    const std::size_t planeLength = map.size() / 3;
    if (m_stage == TRowStage::Palette) {
        // Every index of the sample size has an entry; those the map lacks are black.
        const std::size_t entries = std::size_t{1} << m_bits;
        m_paletteBGR.assign(entries * 3, 0);
        for (std::size_t i = 0; i < entries; ++i) {
            std::uint8_t* bgr = &m_paletteBGR[3 * i];
            if (planeLength == 0) {
                bgr[0] = bgr[1] = bgr[2] = static_cast<std::uint8_t>(i * 255 / (entries - 1));
            } else if (i < planeLength) {
                bgr[2] = static_cast<std::uint8_t>(MulDiv16(map[i] & 0xFFFF, 255, 65535));
                bgr[1] = static_cast<std::uint8_t>(MulDiv16(map[planeLength + i] & 0xFFFF, 255, 65535));
                bgr[0] = static_cast<std::uint8_t>(MulDiv16(map[2 * planeLength + i] & 0xFFFF, 255, 65535));
            }
        }
        return;
    }
    const ColorScheme target = m_cm.TargetScheme();
    if (target == ColorScheme::Indexed) {
        if (planeLength == 0)
            return;  // the raster keeps its default palette
        // Three planes of the sample size's entries, little-endian words; a
        // map shorter than that leaves the rest black.
        const std::size_t entries = std::size_t{1} << m_cm.SourceSampleBits();
        std::array<std::vector<std::uint8_t>, 3> planes;
        for (std::size_t c = 0; c < 3; ++c) {
            planes[c].assign(2 * entries, 0);
            for (std::size_t i = 0; i < std::min(entries, planeLength); ++i) {
                const std::uint64_t v = map[c * planeLength + i];
                planes[c][2 * i] = static_cast<std::uint8_t>(v);
                planes[c][2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
            }
        }
        const std::span<const std::uint8_t> sources[3] = {planes[0], planes[1], planes[2]};
        const ConversionFlags flags = m_cm.SourceFlags;
        m_cm.SourceFlags = static_cast<ConversionFlags>(flags & ~cfSwapBytes16);
        plan.palette = m_cm.BuildColorPalette(sources, RawPaletteFormat::Plane16Triple, entries, false);
        m_cm.SourceFlags = flags;
    } else if (target == ColorScheme::Gray) {
        plan.palette = m_cm.BuildGrayPalette((m_d.Flags & kTiffMinIsWhite) != 0);
    }
}

void TTiffLoad::SetUpLayout(TRasterPlan& plan)
{
    const std::uint64_t pixelBits = std::uint64_t{m_planeSamples} * m_bits;
    const auto rowBytesFor = [&](std::uint64_t pixels) -> std::size_t {
        if (m_stage == TRowStage::YCbCrUnits)
            return base::checkedMul(static_cast<std::size_t>((pixels + m_unitH - 1) / m_unitH), m_unitH * m_unitV + 2);
        return (base::checkedMul(static_cast<std::size_t>(pixels), static_cast<std::size_t>(pixelBits)) + 7) / 8;
    };
    const std::uint64_t tileWidth = m_dir.Integer(kTileWidth, 0);
    const std::uint64_t tileLength = m_dir.Integer(kTileLength, 0);
    m_tiled = tileWidth != 0 && tileLength != 0;
    const base::TLimits& limits = base::Limits();
    std::uint64_t workBytes = 0;
    if (m_tiled) {
        if (tileWidth > static_cast<std::uint64_t>(limits.maxDimension) ||
            tileLength > static_cast<std::uint64_t>(limits.maxDimension))
            throw base::ELimitExceeded("Image too large: tiles of " + std::to_string(tileWidth) + " x " +
                                       std::to_string(tileLength) + " pixels exceed the limit of " +
                                       std::to_string(limits.maxDimension) + " pixels per side");
        // Tiles are placed by whole bytes (and whole data units).
        if ((tileWidth * pixelBits) % 8 != 0 || tileWidth % m_unitH != 0 || tileLength % m_unitV != 0)
            FailInvalid();
        m_blockWidth = static_cast<int>(tileWidth);
        m_blockHeight = static_cast<int>(tileLength);
        m_rowBytes = rowBytesFor(tileWidth);
        m_bandRowBytes = rowBytesFor(static_cast<std::uint64_t>(m_width));
        m_offsets = m_dir.Has(kTileOffsets) ? m_dir.Integers(kTileOffsets) : m_dir.Integers(kStripOffsets);
        m_counts = m_dir.Has(kTileByteCounts) ? m_dir.Integers(kTileByteCounts) : m_dir.Integers(kStripByteCounts);
        const std::uint64_t tileUnits = tileLength / m_unitV;
        workBytes = std::uint64_t{m_rowBytes} * tileUnits + std::uint64_t{m_planes} * m_bandRowBytes * tileUnits;
    } else {
        m_blockWidth = m_width;
        m_rowBytes = rowBytesFor(static_cast<std::uint64_t>(m_width));
        m_offsets = m_dir.Integers(kStripOffsets);
        m_counts = m_dir.Integers(kStripByteCounts);
        m_rowsPerStrip = m_dir.Integers(kRowsPerStrip);
        if (m_rowsPerStrip.empty() || m_rowsPerStrip.front() == 0xFFFFFFFFu)
            m_rowsPerStrip.assign(1, static_cast<std::uint64_t>(m_height));
        // A strip of 0 rows, or more than the image has, holds the whole image.
        std::uint64_t most = 0;
        for (std::uint64_t& rows : m_rowsPerStrip) {
            if (rows == 0 || rows > static_cast<std::uint64_t>(m_height))
                rows = static_cast<std::uint64_t>(m_height);
            most = std::max(most, rows);
        }
        m_blockHeight = static_cast<int>(most);
        workBytes = std::uint64_t{m_planes} * m_rowBytes * ((most + m_unitV - 1) / m_unitV);
    }
    if (workBytes > limits.maxCodecBytes)
        throw base::ELimitExceeded("Image too large: " + std::to_string(m_width) + " x " + std::to_string(m_height) +
                                   " pixels need " + std::to_string(workBytes) +
                                   " bytes to decode, beyond the limit of " + std::to_string(limits.maxCodecBytes) +
                                   " bytes");

    // Packed data cannot expand beyond their method's best ratio, so the
    // input must hold at least that share of the decoded image.
    std::uint64_t ratio = 0;
    switch (m_d.Compression) {
    case CompressionKind::PackedBits:
        ratio = 64;
        break;
    case CompressionKind::LZ77:
        ratio = 1032;
        break;
    case CompressionKind::LZW:
        ratio = 2800;
        break;
    case CompressionKind::ThunderScan:
        ratio = 32;
        break;
    default:
        break;
    }
    if (ratio != 0) {
        const std::uint64_t units = (static_cast<std::uint64_t>(m_height) + m_unitV - 1) / m_unitV;
        const std::uint64_t decoded =
            std::uint64_t{m_planes} * rowBytesFor(static_cast<std::uint64_t>(m_width)) * units;
        plan.minimumDataBytes = decoded / ratio > 1024 ? decoded / ratio - 1024 : 0;
    }
}

void TTiffLoad::SetUpDecoder()
{
    const bool reversed = (m_d.Flags & kTiffReversedBits) != 0;
    const bool bilevel = m_bits == 1 && m_samples == 1;
    const std::uint64_t options = m_dir.Integer(kT4Options, 0);
    switch (m_d.Compression) {
    case CompressionKind::None:
        m_reverseRaw = reversed;
        break;
    case CompressionKind::Fax3Huffman:
    case CompressionKind::HuffmanWordAligned:
        if (!bilevel)
            FailUnsupported();
        m_decoder =
            std::make_unique<TCCITTMHDecoder>(m_blockWidth, m_rowBytes, reversed, static_cast<std::uint32_t>(options),
                                              m_d.Compression == CompressionKind::HuffmanWordAligned);
        break;
    case CompressionKind::Fax3:
        // Two-dimensional group 3 data would read as garbage with 1-D codes.
        if (!bilevel || (options & 1) != 0)
            FailUnsupported();
        m_decoder = std::make_unique<TCCITTFax3Decoder>(m_blockWidth, m_rowBytes, reversed,
                                                        static_cast<std::uint32_t>(options));
        break;
    case CompressionKind::PackedBits:
        m_decoder = std::make_unique<TPackbitsRLEDecoder>();
        break;
    case CompressionKind::LZW:
        m_decoder = std::make_unique<TLZWDecoder>();
        break;
    case CompressionKind::LZ77:
        m_decoder = std::make_unique<TLZ77Decoder>();
        break;
    case CompressionKind::ThunderScan:
        if (m_bits != 4 || m_samples != 1)
            FailUnsupported();
        m_decoder = std::make_unique<TThunderDecoder>(m_blockWidth, m_rowBytes);
        break;
    case CompressionKind::JPEG: {
        TTIFFJPEGSetup setup;
        setup.tables = m_dir.Bytes(kJPEGTables);
        // A YCbCr file without the subsampling tag has the default 2 x 2,
        // and its JPEG data are sampled so.
        if (m_d.Scheme == ColorScheme::YCbCr) {
            setup.samplingH = m_cm.SubsamplingH();
            setup.samplingV = m_cm.SubsamplingV();
        }
        setup.contiguous = m_planes == 1;
        setup.sampleCount = static_cast<int>(m_samples);
        setup.sampleBits = static_cast<int>(m_bits);
        setup.ycbcr = m_d.Scheme == ColorScheme::YCbCr;
        setup.bgr = m_cm.SourceScheme() == ColorScheme::BGR && m_stage != TRowStage::Palette;
        setup.bytesPerLine = m_rowBytes;
        auto jpeg = std::make_unique<TTIFFJPEGDecoder>(std::move(setup));
        m_jpeg = jpeg.get();
        m_decoder = std::move(jpeg);
        break;
    }
    default:
        FailUnsupported();
    }
    // Fill order 2 reverses the bits of every stored byte; the CCITT decoders
    // undo it themselves, JPEG data are bytes whatever the fill order.
    const CompressionKind kind = m_d.Compression;
    m_reverseInput = reversed && (kind == CompressionKind::PackedBits || kind == CompressionKind::LZW ||
                                  kind == CompressionKind::LZ77 || kind == CompressionKind::ThunderScan);
    if (m_decoder)
        m_decoder->StartDecoding();
}

TTiffLoad::TBlock TTiffLoad::ReadBlock(std::size_t index, std::size_t units, int width, int rows, std::size_t rowBytes,
                                       std::vector<std::uint8_t>& buffer)
{
    TBlock block;
    if (index >= m_offsets.size())
        return block;
    const std::uint64_t offset = m_offsets[index];
    const std::size_t available = offset < m_data.size() ? m_data.size() - static_cast<std::size_t>(offset) : 0;
    const std::size_t decoded = units * rowBytes;
    if (!m_decoder) {
        // Raw rows are used where they lie; a short block holds fewer rows.
        const std::size_t held = std::min(decoded, available) / rowBytes;
        block.units = held;
        block.bytes = m_data.subspan(static_cast<std::size_t>(offset), held * rowBytes);
        if (m_reverseRaw) {
            buffer.assign(block.bytes.begin(), block.bytes.end());
            std::transform(buffer.begin(), buffer.end(), buffer.begin(), ReversedBits);
            block.bytes = buffer;
        }
        return block;
    }
    // Compressed: the byte count, or the rest of the data when it is missing.
    std::uint64_t count = index < m_counts.size() && m_counts[index] != 0 ? m_counts[index] : available;
    count = std::min<std::uint64_t>(count, available);
    if (count == 0)
        return block;
    buffer.resize(decoded);
    std::memset(buffer.data(), 0, decoded);
    std::span<const std::uint8_t> packed =
        m_data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
    if (m_reverseInput) {
        m_input.resize(packed.size());
        std::transform(packed.begin(), packed.end(), m_input.begin(), ReversedBits);
        packed = m_input;
    }
    base::ByteCursor source(packed);
    if (m_jpeg != nullptr)
        m_jpeg->SetBlockSize(width, rows);
    m_decoder->Decode(source, buffer);
    if (m_predictor && m_stage != TRowStage::YCbCrUnits)
        for (std::size_t u = 0; u < units; ++u)
            UndoPredictor(buffer.data() + u * rowBytes, static_cast<std::size_t>(width), m_planeSamples, m_bits,
                          m_bigEndian);
    block.bytes = buffer;
    block.units = units;
    return block;
}

void TTiffLoad::Decode(TRowSink& sink)
{
    m_predictor = m_decoder && m_dir.Integer(kPredictor, 0) == 2;
    m_blockBuffers.resize(m_planes);
    m_scratch.resize(m_planes);
    if (m_tiled)
        DecodeTiles(sink);
    else
        DecodeStrips(sink);
    if (m_decoder)
        m_decoder->FinishDecoding();
}

void TTiffLoad::DecodeStrips(TRowSink& sink)
{
    // The bands of rows the strips of one plane cover: strip i holds
    // RowsPerStrip[i] rows, or the last value for strips beyond the list.
    std::vector<int> bandRows;
    for (std::uint64_t y = 0; y < static_cast<std::uint64_t>(m_height);) {
        const std::uint64_t rows = m_rowsPerStrip[std::min(bandRows.size(), m_rowsPerStrip.size() - 1)];
        const std::uint64_t take = std::min<std::uint64_t>(rows, static_cast<std::uint64_t>(m_height) - y);
        bandRows.push_back(static_cast<int>(take));
        y += take;
    }
    const std::size_t bands = bandRows.size();
    std::vector<std::span<const std::uint8_t>> rows(m_planes);
    int y = 0;
    for (std::size_t b = 0; b < bands && b < m_offsets.size(); ++b) {
        const int height = bandRows[b];
        const std::size_t units = (static_cast<std::size_t>(height) + m_unitV - 1) / m_unitV;
        std::size_t held = units;
        std::array<std::span<const std::uint8_t>, 4> blocks{};
        std::vector<std::span<const std::uint8_t>> many;
        for (unsigned p = 0; p < m_planes; ++p) {
            const TBlock block = ReadBlock(p * bands + b, units, m_blockWidth, height, m_rowBytes, m_blockBuffers[p]);
            held = std::min(held, block.units);
            if (p < blocks.size())
                blocks[p] = block.bytes;
            else
                many.push_back(block.bytes);
        }
        for (std::size_t u = 0; u < held; ++u) {
            for (unsigned p = 0; p < m_planes; ++p)
                rows[p] = (p < blocks.size() ? blocks[p] : many[p - blocks.size()]).subspan(u * m_rowBytes, m_rowBytes);
            const int top = y + static_cast<int>(u * m_unitV);
            EmitUnit(sink, top, std::min(static_cast<int>(m_unitV), y + height - top), rows);
        }
        y += height;
    }
}

void TTiffLoad::DecodeTiles(TRowSink& sink)
{
    const std::size_t across = (static_cast<std::size_t>(m_width) + m_blockWidth - 1) / m_blockWidth;
    const std::size_t down = (static_cast<std::size_t>(m_height) + m_blockHeight - 1) / m_blockHeight;
    const std::size_t perPlane = base::checkedMul(across, down);
    const std::size_t tileUnits = static_cast<std::size_t>(m_blockHeight) / m_unitV;
    m_bands.resize(m_planes);
    for (std::vector<std::uint8_t>& band : m_bands)
        band.resize(tileUnits * m_bandRowBytes);
    std::vector<std::uint8_t>& tile = m_blockBuffers[0];
    std::vector<std::span<const std::uint8_t>> rows(m_planes);
    for (std::size_t ty = 0; ty < down; ++ty) {
        const int top = static_cast<int>(ty) * m_blockHeight;
        const int height = std::min(m_blockHeight, m_height - top);
        const std::size_t units = (static_cast<std::size_t>(height) + m_unitV - 1) / m_unitV;
        bool any = false;
        for (unsigned p = 0; p < m_planes; ++p) {
            std::memset(m_bands[p].data(), 0, m_bands[p].size());
            const std::size_t first = p * perPlane + ty * across;
            for (std::size_t tx = 0; tx < across && first + tx < m_offsets.size(); ++tx) {
                const TBlock block = ReadBlock(first + tx, tileUnits, m_blockWidth, m_blockHeight, m_rowBytes, tile);
                if (block.units == 0)
                    continue;
                any = true;
                // The tile's part inside the image: cropped at the right and bottom edges.
                const std::size_t column = tx * m_rowBytes;
                const std::size_t bytes = std::min(m_rowBytes, m_bandRowBytes - column);
                for (std::size_t u = 0; u < std::min(block.units, units); ++u)
                    std::memcpy(m_bands[p].data() + u * m_bandRowBytes + column, block.bytes.data() + u * m_rowBytes,
                                bytes);
            }
        }
        if (!any)
            continue;  // no tile of the band has data: its rows keep the fill
        for (std::size_t u = 0; u < units; ++u) {
            for (unsigned p = 0; p < m_planes; ++p)
                rows[p] = std::span<const std::uint8_t>(m_bands[p]).subspan(u * m_bandRowBytes, m_bandRowBytes);
            const int y = top + static_cast<int>(u * m_unitV);
            EmitUnit(sink, y, std::min(static_cast<int>(m_unitV), top + height - y), rows);
        }
    }
}

void TTiffLoad::EmitUnit(TRowSink& sink, int y, int rows, std::span<const std::span<const std::uint8_t>> planes)
{
    const std::size_t width = static_cast<std::size_t>(m_width);
    switch (m_stage) {
    case TRowStage::Direct:
        if (planes.size() == 1)
            sink.Convert(y, planes[0]);
        else
            sink.Convert(y, planes);
        break;
    case TRowStage::Swap16:
    case TRowStage::Expand: {
        std::array<std::span<const std::uint8_t>, 4> converted{};
        const std::size_t used = std::min<std::size_t>(planes.size(), converted.size());
        for (std::size_t p = 0; p < used; ++p) {
            std::vector<std::uint8_t>& out = m_scratch[p];
            if (m_stage == TRowStage::Swap16) {
                out.resize(planes[p].size());
                for (std::size_t i = 0; i + 1 < planes[p].size(); i += 2) {
                    out[i] = planes[p][i + 1];
                    out[i + 1] = planes[p][i];
                }
            } else {
                ExpandSamples(planes[p], width * m_planeSamples, out);
            }
            converted[p] = out;
        }
        if (used == 1)
            sink.Convert(y, converted[0]);
        else
            sink.Convert(y, std::span<const std::span<const std::uint8_t>>(converted.data(), used));
        break;
    }
    case TRowStage::Palette:
        PaletteRow(planes[0], sink.Row(y));
        break;
    case TRowStage::YCbCrUnits: {
        // A data unit: h × v luma samples row by row, then Cb and Cr.
        const std::size_t unitBytes = m_unitH * m_unitV + 2;
        std::vector<std::uint8_t>& out = m_scratch[0];
        out.resize(width * 3);
        for (int dy = 0; dy < rows; ++dy) {
            const std::uint8_t* unit = planes[0].data();
            for (std::size_t x0 = 0; x0 < width; x0 += m_unitH, unit += unitBytes) {
                const std::uint8_t cb = unit[m_unitH * m_unitV];
                const std::uint8_t cr = unit[m_unitH * m_unitV + 1];
                for (std::size_t dx = 0; dx < m_unitH && x0 + dx < width; ++dx) {
                    std::uint8_t* p = &out[3 * (x0 + dx)];
                    p[0] = unit[static_cast<std::size_t>(dy) * m_unitH + dx];
                    p[1] = cb;
                    p[2] = cr;
                }
            }
            sink.Convert(y + dy, out);
        }
        return;
    }
    }
    if (m_unpremultiply)
        Unpremultiply(sink.Row(y));
}

void TTiffLoad::ExpandSamples(std::span<const std::uint8_t> source, std::size_t count,
                              std::vector<std::uint8_t>& out) const
{
    out.resize(count);
    const unsigned bits = m_bits;
    if (m_sampleFormat == 3 && (bits == 32 || bits == 64)) {
        // Floating point: 0.0 to 1.0 spans the 8-bit range.
        base::ByteCursor c(source);
        c.setByteOrder(m_header.order);
        for (std::uint8_t& v : out) {
            double f = 0;
            if (bits == 32) {
                f = std::bit_cast<float>(c.u32());
            } else {
                const std::uint64_t first = c.u32();
                const std::uint64_t second = c.u32();
                f = std::bit_cast<double>(m_bigEndian ? (first << 32) | second : (second << 32) | first);
            }
            v = std::isnan(f) ? 0 : static_cast<std::uint8_t>(std::clamp(f, 0.0, 1.0) * 255.0 + 0.5);
        }
        return;
    }
    if (bits % 8 == 0 && bits >= 16) {
        // Whole-byte integers: their most significant byte (16 bits scaled as the colour manager scales them).
        const unsigned bytes = bits / 8;
        const std::size_t high = m_bigEndian ? 0 : bytes - 1;
        const std::span<const std::uint8_t> all = source.first(std::min(source.size(), count * bytes));
        for (std::size_t i = 0; i < count && (i + 1) * bytes <= all.size(); ++i) {
            const std::uint8_t* p = all.data() + i * bytes;
            out[i] = bits == 16 ? static_cast<std::uint8_t>(
                                      MulDiv16(static_cast<std::uint32_t>(Load(p, 2, m_bigEndian)), 255, 65535))
                                : p[high];
        }
        return;
    }
    if (bits > 32)
        throw EColorConversionError(kSInvalidColorDepth);
    // Packed fields of any other size, scaled to 8 bits.
    TBitFields fields(source, bits);
    const std::uint64_t max = (std::uint64_t{1} << bits) - 1;
    for (std::uint8_t& v : out)
        v = static_cast<std::uint8_t>(std::uint64_t{fields.Next()} * 255 / max);
}

void TTiffLoad::PaletteRow(std::span<const std::uint8_t> source, std::span<std::uint8_t> target) const
{
    const std::size_t width = static_cast<std::size_t>(m_width);
    const unsigned step = m_planeSamples;
    std::uint8_t* out = target.data();
    if (m_bits == 16) {
        base::ByteCursor c(source);
        c.setByteOrder(m_header.order);
        for (std::size_t x = 0; x < width; ++x, out += 3) {
            const std::uint16_t index = c.u16();
            c.skip(2 * (step - 1u));
            std::memcpy(out, &m_paletteBGR[3 * std::size_t{index}], 3);
        }
        return;
    }
    TBitFields fields(source, m_bits);
    for (std::size_t x = 0; x < width; ++x, out += 3) {
        const std::uint32_t index = fields.Next();
        for (unsigned s = 1; s < step; ++s)
            fields.Next();
        std::memcpy(out, &m_paletteBGR[3 * std::size_t{index}], 3);
    }
}

void TTiffLoad::Unpremultiply(std::span<std::uint8_t> row) const
{
    // Colours stored multiplied by their alpha become plain colours again.
    for (std::size_t i = 0; i + 3 < row.size(); i += 4) {
        const unsigned a = row[i + 3];
        if (a == 0 || a == 255)
            continue;
        for (std::size_t c = i; c < i + 3; ++c)
            row[c] = static_cast<std::uint8_t>(std::min(255u, (row[c] * 255u + a / 2) / a));
    }
}

}  // namespace tiff

TTIFFGraphic::TTIFFGraphic() = default;
TTIFFGraphic::~TTIFFGraphic() = default;

bool IsTIFF(std::span<const std::uint8_t> start) noexcept
{
    if (start.size() <= 8)
        return false;
    // The first IFD's offset is not held against the file's size: a content
    // check sees only the file's first bytes, and both checks must agree.
    return tiff::ReadHeader(start).has_value();
}

bool TTIFFGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    const std::uint64_t size = stream.Size();
    std::uint8_t bytes[16] = {};
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    const std::uint64_t remaining = size > start ? size - start : 0;
    return remaining > 8 && IsTIFF({bytes, got});
}

void TTIFFGraphic::SaveToStream(core::TStream&) {}

std::size_t TTIFFGraphic::TiffStart(base::ByteCursor&)
{
    return 0;
}

bool TTIFFGraphic::ParseImageDescription(base::ByteCursor& input, int imageIndex)
{
    return ParseTiffDescription(input.rest(), imageIndex);
}

bool TTIFFGraphic::ParseTiffDescription(std::span<const std::uint8_t> data, int imageIndex)
{
    const std::optional<tiff::THeader> header = tiff::ReadHeader(data);
    if (!header || imageIndex < 0)
        return false;
    m_header = *header;
    // Walk the chain to the image; a chain that comes back to a directory
    // already seen ends there.
    std::uint64_t offset = header->firstIFD;
    std::unordered_set<std::uint64_t> seen;
    for (int i = 0;; ++i) {
        if (!seen.insert(offset).second || !m_directory.Load(data, m_header, offset))
            return false;
        if (i == imageIndex)
            break;
        offset = m_directory.Next();
    }
    const tiff::TDirectory& dir = m_directory;
    TImageProperties& d = ImageDescription;
    d.FormatVersion = m_header.version;
    d.ImageWidth = SideField(dir.Integer(tiff::kImageWidth, 0));
    d.ImageHeight = SideField(dir.Integer(tiff::kImageLength, 0));
    if (d.ImageWidth == 0 || d.ImageHeight == 0)
        return false;
    const std::vector<std::uint64_t> bits = dir.Integers(tiff::kBitsPerSample);
    d.SampleBits = ByteField(bits.empty() ? 1 : bits.front());
    d.SampleCount = ByteField(dir.Integer(tiff::kSamplesPerPixel, 1));
    d.PixelBits = ByteField(std::uint64_t{d.SampleBits} * d.SampleCount);
    d.Compression = KindOf(dir.Integer(tiff::kCompression, 1));
    const std::uint64_t photometric = dir.Integer(tiff::kPhotometric, 0);
    d.Scheme = SchemeOf(photometric, d.SampleCount);

    std::uint8_t flags = 0;
    if (dir.Integer(tiff::kTileWidth, 0) != 0 && dir.Integer(tiff::kTileLength, 0) != 0)
        flags |= kTiffTiled;
    if (m_header.order == base::ByteOrder::BigEndian)
        flags |= kTiffBigEndian;
    if (photometric == 0)
        flags |= kTiffMinIsWhite;
    const std::uint64_t fillOrder = dir.Integer(tiff::kFillOrder, 1);
    if (fillOrder == 2)
        flags |= kTiffReversedBits;
    d.Flags = flags;

    double x = dir.Real(tiff::kXResolution, 0);
    double y = dir.Real(tiff::kYResolution, 0);
    if (dir.Integer(tiff::kResolutionUnit, 2) == 3) {
        x *= 2.54;
        y *= 2.54;
    }
    d.ResolutionX = static_cast<float>(x);
    d.ResolutionY = static_cast<float>(y);

    d.Extra = dir.Bytes(tiff::kExtraSamples);
    d.HasAlphaChannel =
        !d.Extra.empty() && std::all_of(d.Extra.begin(), d.Extra.end(), [](std::uint8_t v) { return v <= 2; });
    d.Orientation = ByteField(dir.Integer(tiff::kOrientation, 1));
    d.PlanarConfig = ByteField(dir.Integer(tiff::kPlanarConfiguration, 0));
    d.FillOrder = ByteField(fillOrder);
    d.Predictor = ByteField(dir.Integer(tiff::kPredictor, 0));
    const std::vector<std::uint64_t> rows = dir.Integers(tiff::kRowsPerStrip);
    d.RowsPerStrip = rows.empty() ? static_cast<std::uint32_t>(d.ImageHeight)
                                  : static_cast<std::uint32_t>(std::min<std::uint64_t>(rows.front(), 0xFFFFFFFFu));
    const std::vector<std::uint64_t> offsets = dir.Integers(tiff::kStripOffsets);
    d.StripOffsets.assign(offsets.size(), 0);
    std::transform(offsets.begin(), offsets.end(), d.StripOffsets.begin(),
                   [](std::uint64_t v) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFFu)); });
    d.JPEGTables = dir.Bytes(tiff::kJPEGTables);
    return true;
}

TRasterPlan TTIFFGraphic::ReadHeader(base::ByteCursor& input)
{
    m_load.reset();
    const std::size_t start = std::min(TiffStart(input), input.size());
    input.seek(start);
    const std::span<const std::uint8_t> data = input.rest();
    if (!ParseTiffDescription(data, 0))
        FailInvalid();
    m_load = std::make_unique<tiff::TTiffLoad>(data, m_header, m_directory, ImageDescription, ColorManager());
    return m_load->Plan();
}

void TTIFFGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    m_load->Decode(sink);
    if (m_load->RealAlpha() && PixelFormat() == core::pf32bit)
        SetHasAlpha(true);
    m_load.reset();
    input.skip(input.remaining());
}

}  // namespace scalopex::formats
