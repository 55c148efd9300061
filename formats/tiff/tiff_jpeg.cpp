// JPEG blocks of TIFF files through libjpeg. A fatal codec error jumps back
// to a landing point armed right around each codec call: only codec frames
// and a lambda holding references lie between the two, so the jump skips
// no destructor; the exception is raised after it.

#include "formats/tiff/tiff_jpeg.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs size_t and FILE declared first
#include <string>

#include <jerror.h>
#include <jpeglib.h>

#include "base/exceptions.h"
#include "base/limits.h"
#include "base/warnings.h"

namespace scalopex::formats {

namespace {

// Our own fatal error: more scans than base::Limits().maxScans.
constexpr int kTooManyScans = -1;

struct TErrorManager {
    jpeg_error_mgr pub;  // first member: the codec sees only this part
    std::jmp_buf landing;
    int messageCode;
    std::vector<std::string>* shown;  // warnings of this load, each shown once
};

struct TSource {
    jpeg_source_mgr pub;  // first member
    const JOCTET* data;
    std::size_t size;
    bool given;  // the data were handed over
};

void ShowWarning(TErrorManager& err, const std::string& text) noexcept
{
    try {
        if (std::find(err.shown->begin(), err.shown->end(), text) != err.shown->end())
            return;
        err.shown->push_back(text);
        base::Warn(text);
    } catch (...) {
        // A warning that cannot be shown is dropped; decoding goes on.
    }
}

void ErrorExit(j_common_ptr info)
{
    auto* err = reinterpret_cast<TErrorManager*>(info->err);
    err->messageCode = info->err->msg_code;
    std::longjmp(err->landing, 1);
}

void EmitMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;  // trace messages
    char text[JMSG_LENGTH_MAX] = {};
    (*info->err->format_message)(info, text);
    ShowWarning(*reinterpret_cast<TErrorManager*>(info->err), text);
}

void OutputMessage(j_common_ptr) {}

void MonitorProgress(j_common_ptr info)
{
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > base::Limits().maxScans) {
        auto* err = reinterpret_cast<TErrorManager*>(info->err);
        err->messageCode = kTooManyScans;
        std::longjmp(err->landing, 1);
    }
}

TSource& SourceOf(j_decompress_ptr info)
{
    return *reinterpret_cast<TSource*>(info->src);
}

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info)
{
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    TSource& src = SourceOf(info);
    if (!src.given && src.size > 0) {
        src.given = true;
        src.pub.next_input_byte = src.data;
        src.pub.bytes_in_buffer = src.size;
        return TRUE;
    }
    // The data ended early: an end of image lets the codec finish the block.
    ShowWarning(*reinterpret_cast<TErrorManager*>(info->err), kSJPEGEndOfInput);
    src.pub.next_input_byte = kEndOfImage;
    src.pub.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count)
{
    TSource& src = SourceOf(info);
    while (count > 0) {
        if (src.pub.bytes_in_buffer == 0)
            FillInputBuffer(info);
        const std::size_t step = std::min(static_cast<std::size_t>(count), src.pub.bytes_in_buffer);
        src.pub.next_input_byte += step;
        src.pub.bytes_in_buffer -= step;
        count -= static_cast<long>(step);
    }
}

void TermSource(j_decompress_ptr) {}

// Runs fn(context) with the landing point armed; false when a fatal codec
// error ended it.
[[gnu::noinline]] bool CallWithLanding(TErrorManager& err, void (*fn)(void*), void* context) noexcept
{
    if (setjmp(err.landing) != 0)
        return false;
    fn(context);
    return true;
}

template <typename Body>
bool Guarded(TErrorManager& err, Body& body) noexcept
{
    return CallWithLanding(
        err, [](void* p) { (*static_cast<Body*>(p))(); }, &body);
}

[[noreturn]] void Fail(const char* message)
{
    throw base::EGraphicCompression(message);
}

[[noreturn]] void FailCodec(int code)
{
    if (code == kTooManyScans)
        throw base::EGraphicCompression("JPEG data has more than " + std::to_string(base::Limits().maxScans) +
                                        " scans");
    throw base::EGraphicCompression(base::Format("JPEG error #%d", std::to_string(code)));
}

}  // namespace

struct TTIFFJPEGDecoder::TState {
    jpeg_decompress_struct info{};
    TErrorManager err{};
    TSource src{};
    jpeg_progress_mgr progress{};
    std::vector<std::string> shown;
    bool created = false;

    ~TState()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }

    void Point(std::span<const std::uint8_t> data)
    {
        src.data = data.data();
        src.size = data.size();
        src.given = false;
        src.pub.next_input_byte = nullptr;
        src.pub.bytes_in_buffer = 0;
    }
};

TTIFFJPEGDecoder::TTIFFJPEGDecoder(TTIFFJPEGSetup setup) : m_setup(std::move(setup)) {}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() = default;

void TTIFFJPEGDecoder::StartDecoding()
{
    m_state = std::make_unique<TState>();
    TState& s = *m_state;
    jpeg_std_error(&s.err.pub);
    s.err.pub.error_exit = ErrorExit;
    s.err.pub.emit_message = EmitMessage;
    s.err.pub.output_message = OutputMessage;
    s.err.shown = &s.shown;
    s.info.err = &s.err.pub;
    auto create = [&] {
        jpeg_create_decompress(&s.info);
        s.created = true;
    };
    if (!Guarded(s.err, create))
        FailCodec(s.err.messageCode);
    s.info.mem->max_memory_to_use =
        static_cast<long>(std::clamp<std::uint64_t>(base::Limits().maxCodecBytes, 1, LONG_MAX));
    s.progress.progress_monitor = MonitorProgress;
    s.info.progress = &s.progress;
    s.src.pub.init_source = InitSource;
    s.src.pub.fill_input_buffer = FillInputBuffer;
    s.src.pub.skip_input_data = SkipInputData;
    s.src.pub.resync_to_restart = jpeg_resync_to_restart;
    s.src.pub.term_source = TermSource;
    s.info.src = &s.src.pub;

    if (m_setup.tables.empty())
        return;
    s.Point(m_setup.tables);
    int result = 0;
    auto tables = [&] { result = jpeg_read_header(&s.info, FALSE); };
    if (!Guarded(s.err, tables) || result != JPEG_HEADER_TABLES_ONLY)
        Fail(kSJPEGTables);
}

void TTIFFJPEGDecoder::SetBlockSize(int width, int height)
{
    m_blockWidth = width;
    m_blockHeight = height;
}

std::size_t TTIFFJPEGDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    if (!m_state)
        StartDecoding();
    TState& s = *m_state;
    jpeg_decompress_struct& info = s.info;
    s.Point(source.rest());
    source.skip(source.remaining());

    int result = 0;
    auto header = [&] {
        jpeg_abort_decompress(&info);
        result = jpeg_read_header(&info, TRUE);
    };
    if (!Guarded(s.err, header))
        FailCodec(s.err.messageCode);
    if (result != JPEG_HEADER_OK)
        return 0;  // a table stream: no rows

    const TTIFFJPEGSetup& setup = m_setup;
    if (static_cast<long long>(info.image_width) != m_blockWidth ||
        static_cast<long long>(info.image_height) != m_blockHeight)
        Fail(kSJPEGStripSize);
    if (info.num_components != (setup.contiguous ? setup.sampleCount : 1))
        Fail(kSJPEGComponents);
    if (info.data_precision != setup.sampleBits)
        Fail(kSJPEGPrecision);
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const bool first = c == 0 && setup.contiguous;
        const int h = first ? setup.samplingH : 1;
        const int v = first ? setup.samplingV : 1;
        if (component.h_samp_factor != h || component.v_samp_factor != v)
            Fail(kSJPEGSampling);
    }

    if (setup.contiguous && info.num_components == 3 && setup.bgr) {
        info.jpeg_color_space = setup.ycbcr ? JCS_YCbCr : JCS_RGB;
        info.out_color_space = JCS_EXT_BGR;
    } else {
        info.jpeg_color_space = JCS_UNKNOWN;
        info.out_color_space = JCS_UNKNOWN;
    }
    info.raw_data_out = FALSE;

    const std::size_t line = setup.bytesPerLine;
    if (line == 0 || dest.size() % line != 0)
        Fail(kSJPEGScanline);
    auto start = [&] { jpeg_start_decompress(&info); };
    if (!Guarded(s.err, start))
        FailCodec(s.err.messageCode);
    if (std::size_t{info.output_width} * static_cast<std::size_t>(info.output_components) > line)
        Fail(kSJPEGScanline);

    const std::size_t lines = dest.size() / line;
    std::size_t done = 0;
    auto read = [&] {
        while (done < lines && info.output_scanline < info.output_height) {
            JSAMPROW row = dest.data() + done * line;
            if (jpeg_read_scanlines(&info, &row, 1) != 1)
                break;
            ++done;
        }
        if (info.output_scanline == info.output_height)
            jpeg_finish_decompress(&info);
        else
            jpeg_abort_decompress(&info);
    };
    if (!Guarded(s.err, read))
        FailCodec(s.err.messageCode);
    return done * line;
}

void TTIFFJPEGDecoder::FinishDecoding()
{
    m_state.reset();
}

}  // namespace scalopex::formats
