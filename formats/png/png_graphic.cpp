// PNG reader (ISO/IEC 15948). Reads grey of 1, 2, 4, 8 and 16 bits, RGB of
// 8 and 16, indexed of 1, 2, 4 and 8, grey with alpha and RGBA of 8 and 16,
// plain or Adam7 interlaced, with PLTE, tRNS, bKGD and gAMA. Rejects other
// colour types and depths, compression methods other than deflate, CRC
// errors in the chunks it reads, unknown critical chunks and files without
// image data; unknown ancillary chunks are skipped without a CRC check.
// Image data that ends early is not an error: the rows it does not reach
// keep the background colour.

#include "formats/png/png_graphic.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "base/byte_cursor.h"
#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/limits.h"
#include "formats/common/lz77.h"
#include "formats/png/png_format.h"
#include "platform/gdi/palette.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TPNGGraphic, TReaderGraphic)

namespace {

constexpr const char* kFormatName = "PNG";
constexpr const char* kSInvalidColorFormat = "Invalid color format in %s file.";
constexpr const char* kSUnsupportedFeature = "Cannot load image. %s not supported for %s files.";
constexpr const char* kSCompressionScheme = "The compression scheme is";
constexpr const char* kSInvalidPalette = "Cannot load image. Palette in %s file is invalid.";
constexpr const char* kSCRCError = "Cannot load image. CRC error found in %s file.";
constexpr const char* kSUnknownCriticalChunk = "Cannot load PNG image. Unexpected but critical chunk detected.";
constexpr const char* kSCompressionError = "Cannot load image. Compression error found in %s file.";
constexpr const char* kSExtraCompressedData = "Cannot load image. Extra compressed data found in %s file.";

// Deflate cannot expand data by more than about 1032 : 1, so an image that
// needs more filtered bytes than that many times the rest of the file holds
// is refused before its raster is allocated.
constexpr std::uint64_t kMaxInflateRatio = 1032;
// IDAT data is read in pieces of at most this size, whatever the chunk length.
constexpr std::size_t kIdatPiece = std::size_t{1} << 20;

[[noreturn]] void Fail(const char* pattern)
{
    throw base::EInvalidGraphic(base::Format(pattern, kFormatName));
}

struct ChunkHeader {
    std::uint32_t length = 0;
    std::uint32_t type = 0;
};

// Chunk-level access to the input: headers, data with the CRC check, skips.
class ChunkReader {
public:
    explicit ChunkReader(base::ByteCursor& input) : m_input(input) {}

    base::ByteCursor& Input() { return m_input; }

    ChunkHeader ReadHeader()
    {
        const ChunkHeader header{m_input.u32be(), m_input.u32be()};
        if (header.length > png::kMaxChunkLength)
            Fail(base::kSInvalidImage);
        return header;
    }

    // The chunk's data and CRC must be in the input, else it was cut short.
    void RequireData(const ChunkHeader& header) const { m_input.require(std::size_t{header.length} + 4); }

    // The data, CRC checked; only the first `keep` bytes are handed back.
    std::span<const std::uint8_t> ReadData(const ChunkHeader& header, std::size_t keep)
    {
        RequireData(header);
        const std::span<const std::uint8_t> data = m_input.bytes(header.length);
        CheckCrc(png::CrcUpdate(png::CrcOfType(header.type), data));
        return data.first(std::min<std::size_t>(data.size(), keep));
    }

    // Skips data and CRC unchecked; past the end, the next header read fails.
    void SkipData(const ChunkHeader& header) { m_input.skip(std::min<std::size_t>(std::size_t{header.length} + 4, m_input.remaining())); }

    void CheckCrc(std::uint32_t crc)
    {
        if (m_input.u32be() != crc)
            Fail(kSCRCError);
    }

private:
    base::ByteCursor& m_input;
};

struct Ihdr {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t depth = 0;
    std::uint8_t colorType = 0;
    std::uint8_t compression = 0;
    std::uint8_t filter = 0;
    std::uint8_t interlace = 0;
};

Ihdr ParseIhdr(std::span<const std::uint8_t> data)
{
    base::ByteCursor cursor(data);
    Ihdr ihdr;
    ihdr.width = cursor.u32be();
    ihdr.height = cursor.u32be();
    ihdr.depth = cursor.u8();
    ihdr.colorType = cursor.u8();
    ihdr.compression = cursor.u8();
    ihdr.filter = cursor.u8();
    ihdr.interlace = cursor.u8();
    return ihdr;
}

bool ValidColorFormat(const Ihdr& ihdr)
{
    const unsigned d = ihdr.depth;
    switch (ihdr.colorType) {
    case 0: return d == 1 || d == 2 || d == 4 || d == 8 || d == 16;
    case 3: return d == 1 || d == 2 || d == 4 || d == 8;
    case 2:
    case 4:
    case 6: return d == 8 || d == 16;
    default: return false;
    }
}

// Feeds the IDAT run to the inflater one row at a time. Data are taken in
// pieces straight from the input; a chunk of up to kIdatPiece bytes has its
// CRC checked before any of it is inflated.
class IdatFeed {
public:
    IdatFeed(ChunkReader& chunks, TLZ77Decoder& inflater) : m_chunks(chunks), m_inflater(inflater) {}

    void Start(const ChunkHeader& first)
    {
        m_inRun = true;
        BeginChunk(first);
    }

    // Inflates the next bytes of the stream into row; false when the IDAT
    // run ends before the row is complete.
    bool InflateRow(std::span<std::uint8_t> row)
    {
        while (!row.empty()) {
            if (m_piece.empty() && !Fill())
                return false;
            if (m_streamEnded)
                Fail(kSExtraCompressedData);  // data after the end of the zlib stream
            const TLZ77Decoder::TInflate result = m_inflater.Inflate(m_piece, row);
            if (result == TLZ77Decoder::TInflate::StreamEnd) {
                m_streamEnded = true;
                if (!row.empty() || !m_piece.empty() || m_left != 0)
                    Fail(kSExtraCompressedData);
                return true;
            }
            // With input and room for output, anything but progress is an error.
            if (result != TLZ77Decoder::TInflate::Progress)
                Fail(kSCompressionError);
        }
        return true;
    }

    // Reads (CRC checked) and drops the rest of the IDAT run; returns the
    // header of the chunk that follows it.
    ChunkHeader Finish()
    {
        m_piece = {};
        for (;;) {
            while (m_left > 0)
                TakePiece();
            if (!m_inRun)
                return m_next;
            NextChunk();
        }
    }

private:
    bool Fill()
    {
        for (;;) {
            if (m_left > 0) {
                m_piece = TakePiece();
                return true;
            }
            if (!m_inRun)
                return false;
            NextChunk();  // zero-length IDAT chunks are passed over here
        }
    }

    void NextChunk()
    {
        const ChunkHeader header = m_chunks.ReadHeader();
        if (header.type != png::kIDAT) {
            m_next = header;
            m_inRun = false;
            return;
        }
        BeginChunk(header);
    }

    void BeginChunk(const ChunkHeader& header)
    {
        m_chunks.RequireData(header);
        m_left = header.length;
        m_crc = png::CrcOfType(header.type);
        if (m_left == 0)
            m_chunks.CheckCrc(m_crc);
    }

    std::span<const std::uint8_t> TakePiece()
    {
        const std::span<const std::uint8_t> piece = m_chunks.Input().bytes(std::min<std::size_t>(m_left, kIdatPiece));
        m_crc = png::CrcUpdate(m_crc, piece);
        m_left -= static_cast<std::uint32_t>(piece.size());
        if (m_left == 0)
            m_chunks.CheckCrc(m_crc);
        return piece;
    }

    ChunkReader& m_chunks;
    TLZ77Decoder& m_inflater;
    std::span<const std::uint8_t> m_piece;  // taken from the input, not yet inflated
    std::uint32_t m_left = 0;   // data bytes of the current chunk not yet taken
    std::uint32_t m_crc = 0;    // running CRC of the current chunk
    bool m_inRun = false;       // the current chunk is part of the IDAT run
    bool m_streamEnded = false; // inflate has met the end of the zlib stream
    ChunkHeader m_next;         // the chunk after the run, once met
};

// How decoded rows reach the raster.
enum class Route {
    Direct,        // the colour manager writes the raster row, pass mask and all
    GrayAlpha,     // grey+alpha expanded to RGBA, then as Direct
    IndexedAlpha,  // indices through the colour manager, then a BGRA table
};

}  // namespace

namespace png {

// One load: the chunks before the image data, then the image data and the
// chunks after it.
class PngLoader {
public:
    PngLoader(core::TBitmap& raster, TColorManager& cm) : m_raster(raster), m_cm(cm) {}

    // From IHDR to the header of the first IDAT chunk, which is left read.
    TRasterPlan ReadHeader(base::ByteCursor& input);
    // The IDAT run into the sink, then the chunks up to IEND.
    void DecodeRows(base::ByteCursor& input, TRowSink& sink);

private:
    void HandlePalette(ChunkReader& chunks, const ChunkHeader& header);
    void HandleGamma(ChunkReader& chunks, const ChunkHeader& header);
    // Reads the ancillary chunks the reader uses; false for any other chunk.
    bool HandleListed(ChunkReader& chunks, const ChunkHeader& header);
    void SetUpConversion();
    core::TPixelFormat RasterFormat() const;
    void EmitRow(TRowSink& sink, std::span<const std::uint8_t> row, int y, const png::Adam7Pass& pass,
                 std::size_t passPixels);

    bool GammaOn() const { return (m_cm.TargetFlags & cfGammaCorrect) != 0; }
    std::uint8_t Gamma(std::uint8_t v) const { return GammaOn() ? m_cm.GammaTable()[v] : v; }
    std::optional<std::uint8_t> Level8(std::uint32_t v) const;
    std::optional<std::size_t> GrayIndex(std::uint32_t v) const;
    std::optional<core::TColor> RgbFromValues(std::span<const std::uint8_t> data) const;
    core::TColor BackgroundColor() const;
    std::optional<core::TColor> TransparentKey() const;

    core::TBitmap& m_raster;
    TColorManager& m_cm;
    Ihdr m_ihdr;
    ChunkHeader m_firstIdat;
    TLZ77Decoder m_inflater;

    std::vector<std::uint8_t> m_plte;   // raw PLTE entries, at most 256
    std::size_t m_plteCount = 0;
    bool m_plteGamma = false;           // gAMA came before PLTE
    std::vector<std::uint8_t> m_trns;   // raw tRNS data, at most 256 bytes
    bool m_haveTrns = false;
    std::vector<std::uint8_t> m_bkgd;   // raw bKGD data
    bool m_haveBkgd = false;

    // Conversion state, set when the image data starts.
    Route m_route = Route::Direct;
    gdi::TLogPalette m_palette;
    std::size_t m_filterDistance = 1;
    std::size_t m_samples = 1;
    std::vector<std::uint8_t> m_expanded;  // grey+alpha as RGBA
    std::vector<std::uint8_t> m_indices;   // 8-bit indices of one row
    std::array<std::array<std::uint8_t, 4>, 256> m_bgra{};  // indexed with alpha: BGRA per index
};

TRasterPlan PngLoader::ReadHeader(base::ByteCursor& input)
{
    input.skip(png::kSignature.size());
    ChunkReader chunks(input);
    ChunkHeader header = chunks.ReadHeader();  // IHDR, as the description found
    m_ihdr = ParseIhdr(chunks.ReadData(header, 13));
    if (m_ihdr.compression != 0)
        throw base::EInvalidGraphic(base::Format(kSUnsupportedFeature, kSCompressionScheme, kFormatName));
    if (!ValidColorFormat(m_ihdr))
        Fail(kSInvalidColorFormat);

    // Gamma from an earlier load of the same object must not carry over.
    m_cm.SourceFlags = cfSwapBytes16;
    m_cm.TargetFlags = 0;

    for (;;) {
        header = chunks.ReadHeader();
        if (header.type == png::kIDAT)
            break;
        if (HandleListed(chunks, header))
            continue;
        chunks.SkipData(header);
        // A file that reaches IEND without image data is broken, not an empty image.
        if (header.type == png::kIEND)
            Fail(base::kSInvalidImage);
        if (png::IsCritical(header.type))
            Fail(kSUnknownCriticalChunk);
    }
    m_firstIdat = header;
    SetUpConversion();

    TRasterPlan plan;
    plan.width = static_cast<int>(m_ihdr.width);
    plan.height = static_cast<int>(m_ihdr.height);
    plan.pixelFormat = RasterFormat();
    if (plan.pixelFormat == core::pf1bit || plan.pixelFormat == core::pf4bit || plan.pixelFormat == core::pf8bit)
        plan.palette = m_palette;
    // Deflate packs no more than about 1032 bytes into one, so the filtered
    // rows bound the data the file must hold (with some slack).
    const std::size_t packed = (base::checkedMul(m_ihdr.width, m_ihdr.depth) + 7) / 8;
    const std::uint64_t filtered = std::uint64_t{base::checkedAdd(base::checkedMul(packed, m_samples), 1)} * m_ihdr.height;
    plan.minimumDataBytes = filtered / kMaxInflateRatio > 1024 ? filtered / kMaxInflateRatio - 1024 : 0;
    plan.fill = {BackgroundColor(), 255};
    plan.prefill = m_ihdr.interlace == 1;  // pixels of passes that never arrive keep the background
    if (const auto key = TransparentKey()) {
        m_raster.SetTransparentColor(*key);
        m_raster.SetTransparent(true);
    }
    return plan;
}

bool PngLoader::HandleListed(ChunkReader& chunks, const ChunkHeader& header)
{
    switch (header.type) {
    case png::kPLTE: HandlePalette(chunks, header); return true;
    case png::kgAMA: HandleGamma(chunks, header); return true;
    case png::kbKGD: {
        const auto data = chunks.ReadData(header, 6);
        m_bkgd.assign(data.begin(), data.end());
        m_haveBkgd = true;
        return true;
    }
    case png::ktRNS: {
        const auto data = chunks.ReadData(header, 256);
        m_trns.assign(data.begin(), data.end());
        m_haveTrns = true;
        return true;
    }
    default: return false;
    }
}

void PngLoader::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    ChunkReader chunks(input);
    const std::int64_t width = m_ihdr.width;
    const std::int64_t height = m_ihdr.height;
    const std::size_t depth = m_ihdr.depth;
    auto rowBytes = [&](std::int64_t pixels) {
        const std::size_t packed = (base::checkedMul(static_cast<std::size_t>(pixels), depth) + 7) / 8;
        return base::checkedAdd(base::checkedMul(packed, m_samples), 1);
    };
    const std::size_t fullRow = rowBytes(width);
    std::vector<std::uint8_t> bufferA(fullRow, 0), bufferB(fullRow, 0);
    if (m_route == Route::GrayAlpha)
        m_expanded.assign(base::checkedMul(static_cast<std::size_t>(width), 4 * depth / 8), 0);
    if (m_route == Route::IndexedAlpha)
        m_indices.assign(static_cast<std::size_t>(width), 0);

    m_inflater.StartDecoding();
    IdatFeed feed(chunks, m_inflater);
    feed.Start(m_firstIdat);
    const int rows = static_cast<int>(height);
    if (m_ihdr.interlace != 1) {
        std::uint8_t* current = bufferA.data();
        std::uint8_t* previous = bufferB.data();
        constexpr png::Adam7Pass kWhole{0, 1, 0, 1, 0xFF};
        for (int y = 0; y < rows; ++y) {
            if (!feed.InflateRow({current, fullRow}))
                break;  // the rows not reached keep the background
            png::UnfilterRow(current[0], current + 1, previous + 1, fullRow - 1, m_filterDistance);
            EmitRow(sink, {current + 1, fullRow - 1}, y, kWhole, static_cast<std::size_t>(width));
            std::swap(current, previous);
        }
    } else {
        bool more = true;
        for (const png::Adam7Pass& pass : png::kAdam7) {
            const std::int64_t passWidth = png::PassWidth(pass, width);
            const std::int64_t passHeight = png::PassHeight(pass, height);
            if (passWidth == 0 || passHeight == 0)
                continue;
            const std::size_t len = rowBytes(passWidth);
            std::uint8_t* current = bufferA.data();
            std::uint8_t* previous = bufferB.data();
            std::memset(previous, 0, len);
            for (std::int64_t r = 0; r < passHeight; ++r) {
                if (!feed.InflateRow({current, len})) {
                    more = false;
                    break;
                }
                png::UnfilterRow(current[0], current + 1, previous + 1, len - 1, m_filterDistance);
                EmitRow(sink, {current + 1, len - 1}, static_cast<int>(pass.firstRow + r * pass.rowStep), pass,
                        static_cast<std::size_t>(passWidth));
                std::swap(current, previous);
            }
            if (!more)
                break;
        }
    }
    if (m_route != Route::Direct || m_ihdr.colorType == 6)
        m_raster.SetHasAlpha(true);

    // The chunk after the IDAT run and all that follow, up to IEND: the
    // listed ones are still read and checked, a second run of image data
    // counts as an unknown critical chunk.
    ChunkHeader header = feed.Finish();
    for (;; header = chunks.ReadHeader()) {
        if (header.type != png::kIDAT && HandleListed(chunks, header))
            continue;
        chunks.SkipData(header);
        if (header.type == png::kIEND)
            break;
        if (png::IsCritical(header.type))
            Fail(kSUnknownCriticalChunk);
    }
    m_inflater.FinishDecoding();
}

void PngLoader::HandlePalette(ChunkReader& chunks, const ChunkHeader& header)
{
    if (header.length % 3 != 0)
        Fail(kSInvalidPalette);
    const auto data = chunks.ReadData(header, 3 * 256);
    m_plte.assign(data.begin(), data.end());
    m_plteCount = m_plte.size() / 3;
    m_plteGamma = GammaOn();
}

void PngLoader::HandleGamma(ChunkReader& chunks, const ChunkHeader& header)
{
    const auto data = chunks.ReadData(header, 4);
    if (data.size() != 4)
        return;  // malformed: no gamma
    base::ByteCursor value(data);
    // Every table look-up here is of an 8-bit value, so the table is built
    // for 8-bit samples whatever sizes the manager holds now.
    m_cm.SetSourceSampleBits(8);
    m_cm.SetTargetSampleBits(8);
    m_cm.SetGammaValues(static_cast<float>(value.u32be()) / 100000.0f, 2.2f);
    m_cm.TargetFlags |= cfGammaCorrect;
}

std::optional<std::uint8_t> PngLoader::Level8(std::uint32_t v) const
{
    if (m_ihdr.depth == 16)
        return static_cast<std::uint8_t>(MulDiv16(v, 255, 65535));
    if (v > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(v);
}

// The raster index a grey sample value ends up as (the repacking of the
// colour manager), or none when the value is out of the depth's range.
std::optional<std::size_t> PngLoader::GrayIndex(std::uint32_t v) const
{
    switch (m_ihdr.depth) {
    case 16: return MulDiv16(v, 255, 65535);
    case 2: return v <= 3 ? std::optional<std::size_t>(v * 5) : std::nullopt;  // stored as 4 bits
    default: return v < (1u << m_ihdr.depth) ? std::optional<std::size_t>(v) : std::nullopt;
    }
}

// Red, green, blue from three 16-bit values, as the raster shows them.
std::optional<core::TColor> PngLoader::RgbFromValues(std::span<const std::uint8_t> data) const
{
    if (data.size() < 6)
        return std::nullopt;
    std::uint8_t c[3];
    for (int i = 0; i < 3; ++i) {
        const auto level = Level8((static_cast<std::uint32_t>(data[2 * i]) << 8) | data[2 * i + 1]);
        if (!level)
            return std::nullopt;
        c[i] = Gamma(*level);
    }
    return core::RGB(c[0], c[1], c[2]);
}

core::TColor PngLoader::BackgroundColor() const
{
    if (!m_haveBkgd)
        return core::clWhite;
    const std::uint32_t grey = m_bkgd.size() >= 2 ? (static_cast<std::uint32_t>(m_bkgd[0]) << 8) | m_bkgd[1] : 0;
    switch (m_ihdr.colorType) {
    case 0:
        if (m_bkgd.size() >= 2)
            if (const auto index = GrayIndex(grey); index && *index < m_palette.size()) {
                const auto& e = m_palette[*index];
                return core::RGB(e.peRed, e.peGreen, e.peBlue);
            }
        break;
    case 4:
        if (m_bkgd.size() >= 2)
            if (const auto level = Level8(grey)) {
                const std::uint8_t g = Gamma(*level);
                return core::RGB(g, g, g);
            }
        break;
    case 2:
    case 6:
        if (const auto color = RgbFromValues(m_bkgd))
            return *color;
        break;
    case 3:
        if (!m_bkgd.empty() && m_bkgd[0] < m_plteCount) {
            const std::uint8_t* e = m_plte.data() + 3 * std::size_t{m_bkgd[0]};
            auto g = [&](std::uint8_t v) { return m_plteGamma ? m_cm.GammaTable()[v] : v; };
            return core::RGB(g(e[0]), g(e[1]), g(e[2]));
        }
        break;
    default: break;
    }
    return core::clWhite;
}

// The colour-key transparency of grey and RGB images: the colour that the
// raster shows for the tRNS sample values.
std::optional<core::TColor> PngLoader::TransparentKey() const
{
    if (!m_haveTrns)
        return std::nullopt;
    if (m_ihdr.colorType == 0 && m_trns.size() >= 2) {
        const auto index = GrayIndex((static_cast<std::uint32_t>(m_trns[0]) << 8) | m_trns[1]);
        if (!index || *index >= m_palette.size())
            return std::nullopt;
        const auto& e = m_palette[*index];
        return core::RGB(e.peRed, e.peGreen, e.peBlue);
    }
    if (m_ihdr.colorType == 2)
        return RgbFromValues(m_trns);
    return std::nullopt;
}

void PngLoader::SetUpConversion()
{
    const std::uint8_t depth = m_ihdr.depth;
    m_cm.SourceFlags = cfSwapBytes16;
    auto setSides = [&](ColorScheme source, std::uint8_t sourceSamples, ColorScheme target, std::uint8_t targetSamples,
                        std::uint8_t targetBits) {
        m_cm.SetSourceSampleBits(depth);
        m_cm.SetSourceSamples(sourceSamples);
        m_cm.SetSourceScheme(source);
        m_cm.SetTargetSampleBits(targetBits);
        m_cm.SetTargetSamples(targetSamples);
        m_cm.SetTargetScheme(target);
    };

    m_route = Route::Direct;
    m_palette.clear();
    switch (m_ihdr.colorType) {
    case 0:
        m_samples = 1;
        m_filterDistance = (depth + 7u) / 8u;
        setSides(ColorScheme::Gray, 1, ColorScheme::Gray, 1, depth == 2 ? 4 : depth == 16 ? 8 : depth);
        m_palette = m_cm.BuildGrayPalette(false);
        break;
    case 2:
        m_samples = 3;
        m_filterDistance = depth * 3u / 8u;
        setSides(ColorScheme::RGB, 3, ColorScheme::BGR, 3, 8);
        break;
    case 3: {
        m_samples = 1;
        m_filterDistance = 1;
        // An alpha list with any entry below 255 makes a real alpha raster.
        const bool alpha = m_haveTrns && std::any_of(m_trns.begin(), m_trns.end(), [](std::uint8_t a) { return a != 255; });
        m_route = alpha ? Route::IndexedAlpha : Route::Direct;
        setSides(ColorScheme::Indexed, 1, ColorScheme::Indexed, 1, alpha ? 8 : depth == 2 ? 4 : depth);
        if (m_plteCount > 0) {
            // The palette takes gamma only when gAMA came before PLTE.
            const ConversionFlags saved = m_cm.TargetFlags;
            m_cm.TargetFlags = static_cast<ConversionFlags>(m_plteGamma ? (saved | cfGammaCorrect) : (saved & ~cfGammaCorrect));
            const std::span<const std::uint8_t> planes[1] = {m_plte};
            m_palette = m_cm.BuildColorPalette(planes, RawPaletteFormat::Interlaced8Triple, m_plteCount, false);
            m_cm.TargetFlags = saved;
            // Entries no index of the raster can reach are dropped.
            const std::size_t reachable = std::size_t{1} << m_cm.TargetSampleBits();
            if (m_palette.size() > reachable)
                m_palette.resize(reachable);
        }
        if (alpha) {
            // The 8-bit index of stored index v is v * 255 / (2^depth - 1); the
            // palette is resampled the same way, and so is the alpha list here.
            const std::uint32_t sourceMax = (1u << depth) - 1;
            for (std::uint32_t j = 0; j < 256; ++j) {
                auto& out = m_bgra[j];
                if (j < m_palette.size()) {
                    out[0] = m_palette[j].peBlue;
                    out[1] = m_palette[j].peGreen;
                    out[2] = m_palette[j].peRed;
                } else {
                    out[0] = out[1] = out[2] = 0;
                }
                const std::uint32_t stored = MulDiv16(j, sourceMax, 255);
                out[3] = stored < m_trns.size() ? m_trns[stored] : 255;
            }
        }
        break;
    }
    case 4:
        m_samples = 2;
        m_filterDistance = depth * 2u / 8u;
        m_route = Route::GrayAlpha;
        setSides(ColorScheme::RGBA, 4, ColorScheme::BGRA, 4, 8);
        break;
    default:  // 6
        m_samples = 4;
        m_filterDistance = depth * 4u / 8u;
        setSides(ColorScheme::RGBA, 4, ColorScheme::BGRA, 4, 8);
        break;
    }
}

core::TPixelFormat PngLoader::RasterFormat() const
{
    if (m_ihdr.colorType == 2)
        return core::pf24bit;
    if (m_ihdr.colorType == 0 || (m_ihdr.colorType == 3 && m_route == Route::Direct))
        return m_cm.PixelFormatOf(TColorManager::Side::Target);
    return core::pf32bit;
}

void PngLoader::EmitRow(TRowSink& sink, std::span<const std::uint8_t> row, int y, const png::Adam7Pass& pass,
                        std::size_t passPixels)
{
    switch (m_route) {
    case Route::Direct:
        sink.Convert(y, row, pass.mask);
        break;
    case Route::GrayAlpha: {
        std::uint8_t* out = m_expanded.data();
        const std::uint8_t* in = row.data();
        if (m_ihdr.depth == 8) {
            for (std::size_t k = 0; k < passPixels; ++k, in += 2, out += 4) {
                out[0] = out[1] = out[2] = in[0];
                out[3] = in[1];
            }
        } else {
            for (std::size_t k = 0; k < passPixels; ++k, in += 4, out += 8) {
                out[0] = out[2] = out[4] = in[0];
                out[1] = out[3] = out[5] = in[1];
                out[6] = in[2];
                out[7] = in[3];
            }
        }
        sink.Convert(y, m_expanded, pass.mask);
        break;
    }
    case Route::IndexedAlpha: {
        m_cm.ConvertRow(row, m_indices, passPixels, 0xFF);
        std::uint8_t* out = sink.Row(y).data() + 4 * static_cast<std::size_t>(pass.firstColumn);
        const std::size_t step = 4 * static_cast<std::size_t>(pass.columnStep);
        for (std::size_t k = 0; k < passPixels; ++k, out += step)
            std::memcpy(out, m_bgra[m_indices[k]].data(), 4);
        break;
    }
    }
}

}  // namespace png

bool IsPNG(std::span<const std::uint8_t> start) noexcept
{
    return start.size() > png::kSignature.size() && std::equal(png::kSignature.begin(), png::kSignature.end(), start.begin());
}

TPNGGraphic::TPNGGraphic() = default;
TPNGGraphic::~TPNGGraphic() = default;

bool TPNGGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t position = stream.Position();
    std::uint8_t bytes[png::kSignature.size() + 1];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(position);
    return IsPNG({bytes, got});
}

bool TPNGGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    if (input.remaining() < png::kSignature.size())
        return false;
    const std::span<const std::uint8_t> signature = input.bytes(png::kSignature.size());
    if (!std::equal(png::kSignature.begin(), png::kSignature.end(), signature.begin()))
        return false;

    ChunkReader chunks(input);
    ChunkHeader header = chunks.ReadHeader();
    if (header.type != png::kIHDR || header.length != 13)
        return false;
    const Ihdr ihdr = ParseIhdr(chunks.ReadData(header, 13));
    if (ihdr.width == 0 || ihdr.height == 0 || ihdr.width > png::kMaxChunkLength || ihdr.height > png::kMaxChunkLength)
        return false;

    TImageProperties& d = ImageDescription;
    d.ImageWidth = static_cast<std::int32_t>(ihdr.width);
    d.ImageHeight = static_cast<std::int32_t>(ihdr.height);
    d.Compression = ihdr.compression == 0 ? CompressionKind::LZ77 : CompressionKind::Unknown;
    d.SampleBits = ihdr.depth;
    switch (ihdr.colorType) {
    case 0: d.Scheme = ColorScheme::Gray; break;
    case 2: d.Scheme = ColorScheme::RGB; break;
    case 3: d.Scheme = ColorScheme::Indexed; break;
    case 4: d.Scheme = ColorScheme::GrayAlpha; break;
    case 6: d.Scheme = ColorScheme::RGBA; break;
    default: d.Scheme = ColorScheme::Unknown; break;
    }
    d.SampleCount = ihdr.colorType == 2 ? 3 : ihdr.colorType == 6 ? 4 : 1;
    d.PixelBits = static_cast<std::uint8_t>(d.SampleCount * d.SampleBits);
    d.IsInterlaced = ihdr.interlace != 0;
    d.HasAlphaChannel = d.Scheme == ColorScheme::GrayAlpha || d.Scheme == ColorScheme::RGBA;

    // The first gAMA before IEND gives the gamma; other chunks pass unchecked.
    for (;;) {
        header = chunks.ReadHeader();
        if (header.type == png::kgAMA) {
            const auto data = chunks.ReadData(header, 4);
            if (data.size() == 4)
                d.Gamma = static_cast<float>(base::ByteCursor(data).u32be()) / 100000.0f;
            break;
        }
        if (header.type == png::kIEND)
            break;
        chunks.SkipData(header);
    }
    return true;
}

TRasterPlan TPNGGraphic::ReadHeader(base::ByteCursor& input)
{
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0))
        Fail(base::kSInvalidImage);
    m_loader = std::make_unique<png::PngLoader>(*this, m_colorManager);
    return m_loader->ReadHeader(input);
}

void TPNGGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    // The loader's buffers go with the load, however it ends.
    const std::unique_ptr<png::PngLoader> loader = std::move(m_loader);
    loader->DecodeRows(input, sink);
}

}  // namespace scalopex::formats
