// JPEG 2000 reading and writing over OpenJPEG. Reads JP2 files and raw
// codestreams, told apart by their first 8 bytes, never by the extension.
// Before the codec runs, the file's own header (boxes up to the codestream,
// the SIZ marker) is checked against the engine's limits, so that a file
// claiming a raster, components or tiles beyond them is refused before the
// codec allocates for it. Writes JP2 files: 8-bit sRGB components, one tile,
// reversible 5/3 wavelet, one quality layer sized by J2kQuality or lossless.

#include "formats/jpeg2000/jpeg2000_bitmap.h"

#include <algorithm>
#include <memory>

#include "base/byte_cursor.h"
#include "base/limits.h"
#include "core/stream.h"
#include "formats/jpeg2000/jp2_header.h"
#include "formats/jpeg2000/jpeg2000_raster.h"
#include "formats/jpeg2000/openjpeg_codec.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TJpeg2000Bitmap, core::TBitmap)

namespace {

constexpr int kResolutionLevels = 6;
constexpr int kCodeBlockSize = 64;
constexpr std::uint32_t kEnumeratedSRGB = 16;

jp2::TColorSpace ColorSpaceOf(OPJ_COLOR_SPACE space)
{
    switch (space) {
    case OPJ_CLRSPC_SRGB:
        return jp2::TColorSpace::sRGB;
    case OPJ_CLRSPC_GRAY:
        return jp2::TColorSpace::Greyscale;
    case OPJ_CLRSPC_SYCC:
        return jp2::TColorSpace::sYCC;
    default:
        return jp2::TColorSpace::Unknown;
    }
}

// The decoded image as the raster builder sees it; a component the codec
// left without samples or with a size it cannot have counts as a failed
// decoding.
jp2::TDecodedImage ViewOf(const opj_image_t& image, const jp2::TFileHeader& header)
{
    if (image.numcomps == 0 || image.comps == nullptr || image.x1 <= image.x0 || image.y1 <= image.y0)
        throw EJpeg2000Error(kSJpeg2000DecodingFailed);
    jp2::TDecodedImage view;
    view.x0 = image.x0;
    view.y0 = image.y0;
    view.x1 = image.x1;
    view.y1 = image.y1;
    // A raw codestream has no colour space, whatever the codec guesses.
    view.colorSpace = header.kind == jp2::TFileKind::Jp2 ? ColorSpaceOf(image.color_space) : jp2::TColorSpace::Unknown;
    const std::vector<jp2::TComponentType> types =
        jp2::ComponentTypes(header.channels, view.colorSpace, image.numcomps);
    const std::size_t used = jp2::PixelFormatFor(image.numcomps) == core::pf8bit ? 1 : image.numcomps;
    for (std::size_t i = 0; i < used; ++i) {
        const opj_image_comp_t& c = image.comps[i];
        if (c.data == nullptr || c.dx == 0 || c.dy == 0 || c.w == 0 || c.h == 0 || c.prec < 1 || c.prec > 31)
            throw EJpeg2000Error(kSJpeg2000DecodingFailed);
        view.components.push_back({.dx = c.dx,
                                   .dy = c.dy,
                                   .x0 = c.x0,
                                   .y0 = c.y0,
                                   .w = c.w,
                                   .h = c.h,
                                   .precision = static_cast<int>(c.prec),
                                   .isSigned = c.sgnd != 0,
                                   .type = types[i],
                                   .samples = c.data});
    }
    // The other components only count towards the pixel format.
    view.components.resize(image.numcomps, jp2::TComponent{});
    return view;
}

// Drops the comment segments of a codestream's main header: the codec adds
// one naming itself whatever the parameters say. Nothing in a codestream
// points at absolute positions of the main header, so the rest stays valid.
void StripComments(std::vector<std::uint8_t>& codestream)
{
    constexpr std::uint16_t kSOT = 0xFF90;
    constexpr std::uint16_t kCOM = 0xFF64;
    base::ByteCursor cursor(codestream);
    cursor.skip(2);                                             // SOC
    std::vector<std::pair<std::size_t, std::size_t>> comments;  // start and length of each segment
    while (cursor.remaining() >= 4) {
        const std::size_t at = cursor.position();
        const std::uint16_t marker = cursor.u16be();
        if (marker == kSOT)
            break;
        const std::uint16_t length = cursor.u16be();
        if (length < 2)
            return;  // not a marker segment: leave the codestream as the codec made it
        cursor.skip(length - 2u);
        if (marker == kCOM)
            comments.emplace_back(at, 2u + length);
    }
    for (auto it = comments.rbegin(); it != comments.rend(); ++it)
        codestream.erase(codestream.begin() + static_cast<std::ptrdiff_t>(it->first),
                         codestream.begin() + static_cast<std::ptrdiff_t>(it->first + it->second));
}

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void AppendBox(std::vector<std::uint8_t>& out, const char (&type)[5], std::uint64_t contentBytes)
{
    if (contentBytes + 8 > UINT32_MAX) {
        AppendBigEndian(out, 1, 4);  // the length follows the type, in 64 bits
        out.insert(out.end(), type, type + 4);
        AppendBigEndian(out, contentBytes + 16, 8);
    } else {
        AppendBigEndian(out, contentBytes + 8, 4);
        out.insert(out.end(), type, type + 4);
    }
}

}  // namespace

void TJpeg2000Bitmap::SetJ2kQuality(int quality)
{
    m_quality = std::clamp(quality, 1, 100);
}

void TJpeg2000Bitmap::LoadFromStream(core::TStream& stream)
{
    const std::uint64_t start = stream.Position();
    std::uint8_t signature[jp2::kSignatureBytes];
    const std::size_t got = stream.Read(signature, sizeof signature);
    stream.SetPosition(start);
    const jp2::TFileKind kind = jp2::KindOf(std::span<const std::uint8_t>(signature, got));
    if (kind == jp2::TFileKind::Unknown)
        throw EJpeg2000Error(kSUnknownJpeg2000Type);

    std::vector<std::uint8_t> holder;
    const std::span<const std::uint8_t> data = stream.ViewRemaining(base::Limits().maxInputBytes, holder);
    const jp2::TFileHeader header = jp2::ParseHeader(data, kind);
    jp2::CheckLimits(header);

    std::size_t consumed = 0;
    const openjpeg::TImage image = openjpeg::Decode(data, kind == jp2::TFileKind::Jp2, consumed);
    if (!image)
        throw EJpeg2000Error(kSJpeg2000DecodingFailed);
    stream.SetPosition(start + consumed);
    const jp2::TDecodedImage view = ViewOf(*image, header);
    // The codec's palette may have changed the component count the limits
    // were checked with; the raster stays unchanged if it is now too large.
    base::CheckRasterSize(view.x1 - view.x0, view.y1 - view.y0,
                          core::BitsPerPixel(jp2::PixelFormatFor(view.components.size())));
    jp2::BuildRaster(view, *this);
}

void TJpeg2000Bitmap::SaveToStream(core::TStream& stream)
{
    std::unique_ptr<core::TBitmap> copy;
    const core::TBitmap* source = this;
    if (PixelFormat() != core::pf24bit && PixelFormat() != core::pf32bit) {
        copy = std::make_unique<core::TBitmap>();
        copy->Assign(this);
        copy->SetPixelFormat(core::pf24bit);
        source = copy.get();
    }
    const int width = source->Width();
    const int height = source->Height();
    const int bytesPerPixel = source->PixelFormat() == core::pf32bit ? 4 : 3;
    // The fourth byte is written as opacity only when it is alpha: a raster
    // made 32-bit by turning it holds 0 there, which would make the whole
    // file transparent.
    const int components = bytesPerPixel == 4 && source->HasAlpha() ? 4 : 3;

    opj_image_cmptparm_t parts[4] = {};
    for (opj_image_cmptparm_t& part : parts) {
        part.dx = 1;
        part.dy = 1;
        part.w = static_cast<OPJ_UINT32>(width);
        part.h = static_cast<OPJ_UINT32>(height);
        part.prec = 8;
        part.sgnd = 0;
    }
    const openjpeg::TImage image(opj_image_create(static_cast<OPJ_UINT32>(components), parts, OPJ_CLRSPC_SRGB));
    if (!image)
        throw EJpeg2000Error(kSJpeg2000CreateFailed);
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = static_cast<OPJ_UINT32>(width);
    image->y1 = static_cast<OPJ_UINT32>(height);
    if (components == 4)
        image->comps[3].alpha = 1;

    // Red, green and blue from bytes 2, 1 and 0, opacity from byte 3.
    static constexpr int kByteOf[4] = {2, 1, 0, 3};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = source->ScanLineRead(y);
        const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int c = 0; c < components; ++c) {
            OPJ_INT32* out = image->comps[c].data + first;
            const std::uint8_t* in = row + kByteOf[c];
            for (int x = 0; x < width; ++x, in += bytesPerPixel)
                out[x] = *in;
        }
    }

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.numresolution = ResolutionLevels(width, height);
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    parameters.tcp_rates[0] = m_lossless ? 0.0f : CompressionRatio(m_quality, components, width, height);
    // What the file relies on, set rather than taken on trust from the
    // codec's defaults: one tile, 64 x 64 code-blocks, layer-resolution-
    // component-position order, the reversible wavelet, the components
    // coded as they are, no precincts, markers, region of interest or comment.
    parameters.tile_size_on = OPJ_FALSE;
    parameters.cblockw_init = kCodeBlockSize;
    parameters.cblockh_init = kCodeBlockSize;
    parameters.prog_order = OPJ_LRCP;
    parameters.irreversible = 0;
    parameters.tcp_mct = 0;
    parameters.csty = 0;
    parameters.res_spec = 0;
    parameters.roi_compno = -1;
    parameters.cp_comment = nullptr;

    std::vector<std::uint8_t> codestream;
    if (!openjpeg::EncodeCodestream(*image, parameters, codestream))
        throw EJpeg2000Error(kSJpeg2000EncodingFailed);
    StripComments(codestream);
    const std::vector<std::uint8_t> boxes = Jp2BoxesBefore(width, height, components, codestream.size());
    stream.ExpectWrite(boxes.size() + codestream.size());
    stream.WriteBuffer(boxes);
    stream.WriteBuffer(codestream);
}

bool IsJpeg2000(std::span<const std::uint8_t> bytes) noexcept
{
    return jp2::KindOf(bytes) != jp2::TFileKind::Unknown;
}

float CompressionRatio(int quality, int components, int width, int height)
{
    const auto x = static_cast<float>(std::int64_t{width} * height * components);
    const float k = 100.0f / static_cast<float>((115 - quality) * (115 - quality));
    const float budget = x * k + 550.0f + 142.0f * static_cast<float>(components - 1);
    return x / budget;
}

int ResolutionLevels(int width, int height)
{
    const int side = std::min(width, height);
    int levels = 1;
    while (levels < kResolutionLevels && (side >> levels) >= 1)
        ++levels;
    return levels;
}

std::vector<std::uint8_t> Jp2BoxesBefore(int width, int height, int components, std::uint64_t codestreamBytes)
{
    std::vector<std::uint8_t> out;
    AppendBox(out, "jP  ", 4);
    AppendBigEndian(out, 0x0D0A870A, 4);
    AppendBox(out, "ftyp", 12);
    out.insert(out.end(), {'j', 'p', '2', ' '});
    AppendBigEndian(out, 0, 4);  // minor version
    out.insert(out.end(), {'j', 'p', '2', ' '});

    const std::uint64_t channelBytes = 2 + 6 * static_cast<std::uint64_t>(components);
    AppendBox(out, "jp2h", (8 + 14) + (8 + 7) + (8 + channelBytes));
    AppendBox(out, "ihdr", 14);
    AppendBigEndian(out, static_cast<std::uint32_t>(height), 4);
    AppendBigEndian(out, static_cast<std::uint32_t>(width), 4);
    AppendBigEndian(out, static_cast<std::uint16_t>(components), 2);
    out.insert(out.end(), {7, 7, 0, 0});  // 8-bit unsigned, wavelet coded, colour space known, no rights box
    AppendBox(out, "colr", 7);
    out.insert(out.end(), {1, 0, 0});  // enumerated, precedence 0, approximation 0
    AppendBigEndian(out, kEnumeratedSRGB, 4);
    AppendBox(out, "cdef", channelBytes);
    AppendBigEndian(out, static_cast<std::uint16_t>(components), 2);
    for (int c = 0; c < components; ++c) {
        const bool opacity = c == 3;
        AppendBigEndian(out, static_cast<std::uint16_t>(c), 2);
        AppendBigEndian(out, opacity ? 1 : 0, 2);      // colour or opacity
        AppendBigEndian(out, opacity ? 0 : c + 1, 2);  // red, green, blue; the whole image
    }
    AppendBox(out, "jp2c", codestreamBytes);
    return out;
}

void SaveBitmapAsJpeg2000(const core::TBitmap& bitmap, core::TStream& stream)
{
    TJpeg2000Bitmap writer;
    writer.SetJ2kLossless(false);
    writer.SetJ2kQuality(97);
    writer.Assign(&bitmap);
    writer.SaveToStream(stream);
}

}  // namespace scalopex::formats
