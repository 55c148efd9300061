// TJPEGImage over the JPEG codec (libjpeg interface 62, JPEG ISO/IEC 10918-1
// with JFIF 1.02 and Exif 2.3 APP1 blocks).
//
// Reads baseline, extended and progressive files with 1 component (grey),
// 3 (YCbCr or RGB) or 4 (CMYK or YCCK, taken as Adobe-inverted values);
// other component counts fail with the codec's "unsupported colour
// conversion" number. Colour files decode to 24-bit rows in blue-green-red
// order straight from the codec; grey (and indexed) output is quantised to
// 236 levels with Floyd-Steinberg dithering into an 8-bit raster. An Exif
// orientation other than 1 is applied while the rows are placed, so the
// raster comes out upright. Writing makes baseline JFIF 1.01, 4:2:0,
// standard Huffman tables, floating-point DCT.

#include "formats/jpeg/jpeg_image.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <jerror.h>

#include "base/byte_cursor.h"
#include "base/limits.h"
#include "formats/jpeg/exif_orientation.h"
#include "formats/jpeg/jpeg_codec.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TJPEGImage, core::TGraphic)

TJPEGOptions JpegDefaultOptions;

namespace {

constexpr const char* kSJPEGError = "JPEG error #%d";
constexpr const char* kSChangeJPGSize = "Cannot change the size of a JPEG image";

// Colours of quantised output (grey levels, or the colour map of IndexedDecode).
constexpr int kQuantisedColors = 236;
// Rows decoded before they are turned into columns (orientations 5 to 8).
constexpr int kStripRows = 16;
constexpr std::uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};

using jpegcodec::TCompressor;
using jpegcodec::TDecompressor;

// ---- Reading the headers ---------------------------------------------------

// Fills data's header fields from its file image; returns whether the file
// has more than one scan.
bool ReadHeaders(TJPEGData& data)
{
    TDecompressor codec(data.fileImage);
    jpeg_decompress_struct& info = codec.Info();
    bool multipleScans = false;
    codec.Run([&info, &multipleScans] {
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_read_header(&info, TRUE);
        multipleScans = jpeg_has_multiple_scans(&info) != FALSE;
    });
    data.width = static_cast<int>(info.image_width);
    data.height = static_cast<int>(info.image_height);
    data.grayscale = info.jpeg_color_space == JCS_GRAYSCALE;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
        const std::span<const std::uint8_t> payload(marker->data, marker->data_length);
        base::ByteCursor head(payload);
        if (head.remaining() >= sizeof kExifSignature && std::ranges::equal(head.bytes(sizeof kExifSignature), kExifSignature)) {
            data.orientation = ExifOrientation(payload);
            break;  // the first Exif block counts
        }
    }
    return multipleScans;
}

// ---- Files cut between scans -----------------------------------------------

constexpr bool IsRestartOrStandalone(std::uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// When the data ends inside a marker segment (a multi-scan file cut between
// its scans), the offset at which that segment begins; otherwise 0. The
// codec can end a scan cut short, but not a table or scan header.
std::size_t StartOfCutSegment(std::span<const std::uint8_t> file)
{
    base::ByteCursor cursor(file);
    if (cursor.remaining() < 2 || cursor.u16be() != 0xFFD8)
        return 0;
    for (;;) {
        const std::size_t start = cursor.position();
        if (cursor.atEnd() || cursor.u8() != 0xFF)
            return 0;  // complete, or not a marker where one belongs
        std::uint8_t marker = 0xFF;
        while (marker == 0xFF) {  // fill bytes may precede the marker code
            if (cursor.atEnd())
                return start;
            marker = cursor.u8();
        }
        if (marker == 0xD9)
            return 0;
        if (IsRestartOrStandalone(marker))
            continue;
        if (cursor.remaining() < 2)
            return start;
        const std::uint16_t length = cursor.u16be();
        if (length < 2)
            return 0;
        if (length - 2u > cursor.remaining())
            return start;
        cursor.skip(length - 2u);
        if (marker != 0xDA)
            continue;
        // Entropy-coded data runs to the first marker other than a restart
        // marker; FF 00 stands for a data byte FF.
        for (;;) {
            if (!cursor.skipTo(0xFF))
                return 0;  // cut inside the scan itself
            const std::size_t at = cursor.position();
            cursor.u8();
            if (cursor.atEnd())
                return 0;
            const std::uint8_t next = cursor.peek();
            if (next == 0x00 || next == 0xFF || IsRestartOrStandalone(next)) {
                if (next != 0xFF)
                    cursor.u8();  // a fill byte FF may start the next marker
                continue;
            }
            cursor.seek(at);
            break;
        }
    }
}

// ---- Placing decoded rows --------------------------------------------------

// Where decoded rows go. Plain data: it is used between the codec's calls,
// inside the landing zone of its error exit.
struct TRowPlan {
    std::uint8_t* base;       // raster row 0 (the top)
    std::size_t stride;       // bytes from one raster row to the next
    int width;                // codec output size, as stored in the file
    int height;
    int bytesPerPixel;        // in the raster: 1 or 3
    int orientation;          // Exif orientation 1..8
    bool cmyk;                // codec rows are 4-byte inverted CMYK
    std::uint8_t* scratch;    // one codec row, when cmyk
    std::uint8_t* strip;      // kStripRows rows of width pixels, orientations 5..8
    std::size_t stripStride;
};

void ReverseRow(std::uint8_t* row, int width, int bytesPerPixel)
{
    if (bytesPerPixel == 1) {
        std::reverse(row, row + width);
        return;
    }
    for (std::uint8_t *left = row, *right = row + 3 * (width - 1); left < right; left += 3, right -= 3) {
        std::swap(left[0], right[0]);
        std::swap(left[1], right[1]);
        std::swap(left[2], right[2]);
    }
}

// Inverted (Adobe) CMYK holds 255 minus the ink, so each colour is the
// product of its own value and K.
void InvertedCmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width)
{
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned k = cmyk[3];
        bgr[0] = static_cast<std::uint8_t>((cmyk[2] * k + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((cmyk[1] * k + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((cmyk[0] * k + 127) / 255);
    }
}

// Writes strip rows firstRow .. firstRow + rows - 1 as raster columns.
// Stored pixel (x, y) goes to upright (x', y'):
//   5: (y, x)   6: (H-1-y, x)   7: (H-1-y, W-1-x)   8: (y, W-1-x)
void PlaceStrip(const TRowPlan& plan, int firstRow, int rows)
{
    const int bpp = plan.bytesPerPixel;
    const bool columnFromTop = plan.orientation == 5 || plan.orientation == 6;
    const bool rowFromLeft = plan.orientation == 5 || plan.orientation == 8;
    for (int x = 0; x < plan.width; ++x) {
        const int targetRow = columnFromTop ? x : plan.width - 1 - x;
        std::uint8_t* out = plan.base + plan.stride * static_cast<std::size_t>(targetRow);
        const std::uint8_t* in = plan.strip + static_cast<std::size_t>(x) * static_cast<std::size_t>(bpp);
        for (int r = 0; r < rows; ++r, in += plan.stripStride) {
            const int y = firstRow + r;
            const int targetColumn = rowFromLeft ? y : plan.height - 1 - y;
            std::memcpy(out + static_cast<std::size_t>(targetColumn) * static_cast<std::size_t>(bpp), in,
                        static_cast<std::size_t>(bpp));
        }
    }
}

// Reads every row of one output pass into the raster, one row per call, top
// row first. Runs inside the codec's landing zone: plain data only.
void ReadRows(jpeg_decompress_struct& info, const TRowPlan& plan)
{
    const bool transposes = SwapsSides(plan.orientation);
    const bool mirrors = plan.orientation == 2 || plan.orientation == 3;
    const bool flips = plan.orientation == 3 || plan.orientation == 4;
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        std::uint8_t* target = transposes ? plan.strip + plan.stripStride * static_cast<std::size_t>(y % kStripRows)
                                          : plan.base + plan.stride * static_cast<std::size_t>(flips ? plan.height - 1 - y : y);
        JSAMPROW row = plan.cmyk ? plan.scratch : target;
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            return;  // only a suspending source stops early; ours never does
        if (plan.cmyk)
            InvertedCmykToBgr(plan.scratch, target, plan.width);
        if (mirrors)
            ReverseRow(target, plan.width, plan.bytesPerPixel);
        if (transposes && ((y + 1) % kStripRows == 0 || y + 1 == plan.height))
            PlaceStrip(plan, y - y % kStripRows, y % kStripRows + 1);
    }
}

gdi::TLogPalette PaletteFromColormap(const jpeg_decompress_struct& info)
{
    gdi::TLogPalette palette(static_cast<std::size_t>(std::clamp(info.actual_number_of_colors, 0, 256)));
    for (std::size_t i = 0; i < palette.size(); ++i) {
        if (info.out_color_components == 1) {
            const std::uint8_t grey = info.colormap[0][i];
            palette[i] = {grey, grey, grey, 0};
        } else {
            palette[i] = {info.colormap[0][i], info.colormap[1][i], info.colormap[2][i], 0};
        }
    }
    return palette;
}

// ---- Multi-scan files, scan by scan ----------------------------------------

enum class TScanStatus { More, Last, TooManyScans };

// Takes in the next whole scan and looks past it: Last when the end of the
// image follows.
TScanStatus AbsorbScan(jpeg_decompress_struct& info)
{
    int status = 0;
    do
        status = jpeg_consume_input(&info);
    while (status != JPEG_SCAN_COMPLETED && status != JPEG_REACHED_EOI && status != JPEG_SUSPENDED);
    if (status == JPEG_SCAN_COMPLETED) {
        do
            status = jpeg_consume_input(&info);
        while (status != JPEG_REACHED_SOS && status != JPEG_REACHED_EOI && status != JPEG_SUSPENDED);
    }
    if (info.input_scan_number > base::Limits().maxScans)
        return TScanStatus::TooManyScans;
    return status == JPEG_REACHED_SOS ? TScanStatus::More : TScanStatus::Last;
}

struct TPassSettings {
    J_DCT_METHOD dct;
    J_DITHER_MODE dither;
    boolean twoPass;
};

// ---- Decoding --------------------------------------------------------------

// Decodes data into bitmap; returns true when the raster got a palette.
bool DecodeInto(core::TBitmap& bitmap, std::span<const std::uint8_t> fileImage, int orientation, const TJPEGOptions& options)
{
    TDecompressor codec(fileImage);
    jpeg_decompress_struct& info = codec.Info();
    codec.Run([&info] { jpeg_read_header(&info, TRUE); });

    const int components = info.num_components;
    if (components != 1 && components != 3 && components != 4)
        throw EJPEG(JERR_CONVERSION_NOTIMPL);  // the codec's own number for this
    const bool cmyk = components == 4;

    info.scale_num = 1;
    info.scale_denom = 1u << std::clamp(options.DecodeScale, 0, 3);
    info.do_block_smoothing = options.BlockSmoothing ? TRUE : FALSE;
    // The methods this system relies on, set here because this codec's
    // compiled-in defaults may differ.
    info.dct_method = JDCT_FLOAT;
    info.dither_mode = JDITHER_FS;
    info.two_pass_quantize = TRUE;
    info.do_fancy_upsampling = TRUE;

    bool quantise = false;
    if (cmyk) {
        // The codec turns YCCK into CMYK; grey and indexed output do not
        // apply to these files, which always decode to 24 bits.
        info.out_color_space = JCS_CMYK;
    } else {
        if (options.GrayDecode)
            info.out_color_space = JCS_GRAYSCALE;
        quantise = options.IndexedDecode || info.out_color_space == JCS_GRAYSCALE;
        if (quantise) {
            info.quantize_colors = TRUE;
            info.desired_number_of_colors = kQuantisedColors;
            if (info.out_color_space != JCS_GRAYSCALE)
                info.out_color_space = JCS_RGB;  // a colour map is read in RGB order
        } else {
            info.out_color_space = JCS_EXT_BGR;  // the raster's own order
        }
    }
    if (options.FastDecode) {
        info.dct_method = JDCT_IFAST;
        info.two_pass_quantize = FALSE;
        info.dither_mode = JDITHER_ORDERED;
    }
    const TPassSettings finalPass{info.dct_method, info.dither_mode, info.two_pass_quantize};
    codec.Run([&info] { jpeg_calc_output_dimensions(&info); });

    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    const bool swaps = SwapsSides(orientation);
    const int bytesPerPixel = quantise ? 1 : 3;
    base::CheckImageHeader({.width = swaps ? height : width, .height = swaps ? width : height, .bitsPerPixel = 8 * bytesPerPixel});
    bitmap.SetPixelFormat(quantise ? core::pf8bit : core::pf24bit);
    // Every row is written below, and a failed decode discards the bitmap.
    bitmap.SetSizeUninitialized(swaps ? height : width, swaps ? width : height);

    std::vector<std::uint8_t> scratch(cmyk ? static_cast<std::size_t>(width) * 4 : 0);
    const std::size_t stripStride = static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel);
    std::vector<std::uint8_t> strip(swaps ? stripStride * kStripRows : 0);
    TRowPlan plan{nullptr, bitmap.RowBytes(), width, height, bytesPerPixel, orientation, cmyk,
                  scratch.data(), strip.data(), stripStride};

    bool multipleScans = false;
    codec.Run([&info, &multipleScans] { multipleScans = jpeg_has_multiple_scans(&info) != FALSE; });
    if (!options.IncrementalDecode || !multipleScans) {
        codec.Run([&info] { jpeg_start_decompress(&info); });
        if (quantise)
            bitmap.SetPalette(PaletteFromColormap(info));
        plan.base = bitmap.ScanLine(0);
        codec.Run([&info, &plan] {
            ReadRows(info, plan);
            jpeg_finish_decompress(&info);
        });
        return quantise;
    }

    // Scan by scan: quick passes while scans remain, the chosen settings for
    // the last one; every pass is written into the raster.
    info.buffered_image = TRUE;
    if (quantise)
        info.enable_1pass_quant = TRUE;  // the quick passes quantise in one pass
    codec.Run([&info] { jpeg_start_decompress(&info); });
    for (;;) {
        TScanStatus status = TScanStatus::More;
        codec.Run([&info, &status] { status = AbsorbScan(info); });
        if (status == TScanStatus::TooManyScans)
            jpegcodec::RaiseCodecError(jpegcodec::kTooManyScans);
        const bool last = status == TScanStatus::Last;
        info.dct_method = last ? finalPass.dct : JDCT_IFAST;
        info.dither_mode = last ? finalPass.dither : JDITHER_ORDERED;
        info.two_pass_quantize = last ? finalPass.twoPass : FALSE;
        if (quantise)
            info.colormap = nullptr;  // let the codec choose its quantiser afresh
        codec.Run([&info] { jpeg_start_output(&info, info.input_scan_number); });
        if (quantise)
            bitmap.SetPalette(PaletteFromColormap(info));
        plan.base = bitmap.ScanLine(0);
        codec.Run([&info, &plan] {
            ReadRows(info, plan);
            jpeg_finish_output(&info);
        });
        if (last)
            break;
    }
    codec.Run([&info] { jpeg_finish_decompress(&info); });
    return quantise;
}

// ---- Encoding --------------------------------------------------------------

std::vector<std::uint8_t> Compress(const core::TBitmap& bitmap, const TJPEGOptions& options)
{
    const core::TBitmapImage& image = bitmap.Image();
    std::vector<std::uint8_t> output;
    TCompressor codec(output);
    jpeg_compress_struct& info = codec.Info();

    // 24- and 32-bit rows go to the codec as they are (the fourth byte is
    // skipped); every other layout is unpacked a row at a time.
    const core::TPixelFormat format = image.PixelFormat();
    const bool direct = format == core::pf24bit || format == core::pf32bit;
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = format == core::pf24bit ? 3 : 4;
    info.in_color_space = format == core::pf24bit ? JCS_EXT_BGR : JCS_EXT_BGRX;

    const TJPEGOptions settings = options;
    codec.Run([&info, &settings] {
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, settings.JpegQuality, TRUE);  // baseline-compatible tables
        if (settings.GrayDecode)
            jpeg_set_colorspace(&info, JCS_GRAYSCALE);
        if (settings.ProgressiveWrite)
            jpeg_simple_progression(&info);
        info.dct_method = JDCT_FLOAT;
        jpeg_start_compress(&info, TRUE);
    });

    if (direct) {
        const std::uint8_t* const base = image.Row(0);
        const std::size_t stride = image.stride;
        codec.Run([&info, base, stride] {
            while (info.next_scanline < info.image_height) {
                // The codec only reads its input rows.
                JSAMPROW row = const_cast<JSAMPROW>(base + stride * info.next_scanline);
                jpeg_write_scanlines(&info, &row, 1);
            }
        });
    } else {
        std::vector<std::uint8_t> bgrx(static_cast<std::size_t>(image.width) * 4);
        JSAMPROW row = bgrx.data();
        for (int y = 0; y < image.height; ++y) {
            core::UnpackRow(image, image.Row(y), image.width, bgrx.data());
            codec.Run([&info, &row] { jpeg_write_scanlines(&info, &row, 1); });
        }
    }
    codec.Run([&info] { jpeg_finish_compress(&info); });
    return output;
}

}  // namespace

EJPEG::EJPEG(int messageCode) : base::EInvalidGraphic(base::Format(kSJPEGError, std::to_string(messageCode))) {}

TJPEGImage::TJPEGImage() : m_data(std::make_shared<TJPEGData>()), m_options(JpegDefaultOptions) {}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Assign(const core::TGraphic* source)
{
    if (source == this)
        return;
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(source)) {
        m_data = jpeg->m_data;
        m_bitmap.reset();
        if (jpeg->m_bitmap) {
            m_bitmap = std::make_unique<core::TBitmap>();
            m_bitmap->Assign(jpeg->m_bitmap.get());
        }
        Changed();
    } else if (const auto* bitmap = dynamic_cast<const core::TBitmap*>(source)) {
        m_data = std::make_shared<TJPEGData>();
        m_bitmap = std::make_unique<core::TBitmap>();
        m_bitmap->Assign(bitmap);
        Changed();
    } else {
        core::TGraphic::Assign(source);
    }
}

void TJPEGImage::AssignTo(core::TGraphic& dest) const
{
    if (auto* bitmap = dynamic_cast<core::TBitmap*>(&dest))
        bitmap->Assign(&Bitmap());
    else
        core::TGraphic::AssignTo(dest);
}

void TJPEGImage::Draw(core::TCanvas& canvas, const core::TRect& rect) const { Bitmap().Draw(canvas, rect); }

bool TJPEGImage::Empty() const { return !m_data->hasFileImage && (!m_bitmap || m_bitmap->Empty()); }

int TJPEGImage::Width() const
{
    if (m_bitmap)
        return m_bitmap->Width();
    const int scale = std::clamp(m_options.DecodeScale, 0, 3);
    const int side = SwapsSides(m_data->orientation) ? m_data->height : m_data->width;
    return (side + (1 << scale) - 1) >> scale;
}

int TJPEGImage::Height() const
{
    if (m_bitmap)
        return m_bitmap->Height();
    const int scale = std::clamp(m_options.DecodeScale, 0, 3);
    const int side = SwapsSides(m_data->orientation) ? m_data->width : m_data->height;
    return (side + (1 << scale) - 1) >> scale;
}

void TJPEGImage::SetWidth(int) { throw base::EInvalidGraphicOperation(kSChangeJPGSize); }
void TJPEGImage::SetHeight(int) { throw base::EInvalidGraphicOperation(kSChangeJPGSize); }

gdi::TLogPalette TJPEGImage::Palette() const
{
    // The display is true colour: before decoding there is no palette.
    return m_bitmap ? m_bitmap->Palette() : gdi::TLogPalette{};
}

void TJPEGImage::LoadFromStream(core::TStream& stream)
{
    m_data = std::make_shared<TJPEGData>();
    m_bitmap.reset();
    auto data = std::make_shared<TJPEGData>();
    data->fileImage = stream.ReadRemaining(base::Limits().maxInputBytes);
    data->hasFileImage = true;
    if (!data->fileImage.empty())
        m_options.ProgressiveWrite = ReadHeaders(*data);
    m_data = std::move(data);
    Changed();
}

void TJPEGImage::SaveToStream(core::TStream& stream)
{
    if (!m_data->hasFileImage)
        Encode();
    stream.WriteBuffer(m_data->fileImage.data(), m_data->fileImage.size());
}

void TJPEGImage::Encode()
{
    // Re-encoding a loaded image works on its pixels, not on an empty raster.
    if (!m_bitmap && m_data->hasFileImage)
        Decode();
    auto data = std::make_shared<TJPEGData>();
    data->hasFileImage = true;
    if (m_bitmap && !m_bitmap->Empty()) {
        data->width = m_bitmap->Width();
        data->height = m_bitmap->Height();
        data->grayscale = m_options.GrayDecode;
        data->fileImage = Compress(*m_bitmap, m_options);
    }
    m_data = std::move(data);
}

const core::TBitmap& TJPEGImage::Bitmap() const
{
    if (!m_bitmap)
        Decode();
    return *m_bitmap;
}

void TJPEGImage::Decode() const
{
    auto bitmap = std::make_unique<core::TBitmap>();
    bool paletteSet = false;
    if (m_data->hasFileImage) {
        const std::span<const std::uint8_t> file = m_data->fileImage;
        try {
            paletteSet = DecodeInto(*bitmap, file, m_data->orientation, m_options);
        } catch (const EJPEG&) {
            // A file cut inside a table or scan header between its scans
            // decodes the scans before that header, like any file cut short.
            const std::size_t cut = StartOfCutSegment(file);
            if (cut == 0)
                throw;
            bitmap = std::make_unique<core::TBitmap>();
            paletteSet = DecodeInto(*bitmap, file.first(cut), m_data->orientation, m_options);
        }
    }
    m_bitmap = std::move(bitmap);
    // Decoding is lazy, so it happens behind a const interface; the image
    // itself is never a const object.
    if (paletteSet)
        const_cast<TJPEGImage*>(this)->Changed();
}

void TJPEGImage::SetJpegQuality(int quality) { m_options.JpegQuality = std::clamp(quality, 1, 100); }

void TJPEGImage::SetDecodeScale(int scale) { m_options.DecodeScale = std::clamp(scale, 0, 3); }

bool IsJpeg(std::span<const std::uint8_t> bytes) noexcept
{
    base::ByteCursor start(bytes);
    return start.remaining() >= 3 && start.u8() == 0xFF && start.u8() == 0xD8 && start.u8() == 0xFF;
}

void SaveBitmapAsJpeg(const core::TBitmap& bitmap, core::TStream& stream)
{
    TJPEGImage jpeg;
    jpeg.SetJpegQuality(90);
    jpeg.Assign(&bitmap);
    jpeg.Encode();
    jpeg.SaveToStream(stream);
}

}  // namespace scalopex::formats
