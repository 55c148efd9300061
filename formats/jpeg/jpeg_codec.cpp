// Codec plumbing: error exit with a landing point, memory source and
// destination in 4096-byte blocks, and the states that release themselves.

#include "formats/jpeg/jpeg_codec.h"

#include <algorithm>
#include <climits>
#include <string>

#include <jerror.h>

#include "base/limits.h"
#include "formats/jpeg/jpeg_image.h"

namespace scalopex::formats::jpegcodec {

namespace {

void ErrorExit(j_common_ptr info)
{
    auto* err = reinterpret_cast<TErrorManager*>(info->err);
    err->messageCode = info->err->msg_code;
    std::longjmp(err->landing, 1);
}

// Warnings and trace messages are ignored: a damaged file decodes as far as
// the codec can take it.
void EmitMessage(j_common_ptr, int) {}
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

jpeg_error_mgr* SetUpErrors(TErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    return &err.pub;
}

TMemorySource& SourceOf(j_decompress_ptr info) { return *reinterpret_cast<TMemorySource*>(info->src); }

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info)
{
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    TMemorySource& src = SourceOf(info);
    if (src.position < src.size) {
        const std::size_t count = std::min(kBlockSize, src.size - src.position);
        src.pub.next_input_byte = src.data + src.position;
        src.pub.bytes_in_buffer = count;
        src.position += count;
        src.started = true;
        return TRUE;
    }
    if (!src.started)
        ERREXIT(info, JERR_INPUT_EMPTY);
    // The data ended early: hand the codec an end of image and go on.
    WARNMS(info, JWRN_JPEG_EOF);
    src.pub.next_input_byte = kEndOfImage;
    src.pub.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    TMemorySource& src = SourceOf(info);
    auto skip = static_cast<std::size_t>(count);
    if (skip <= src.pub.bytes_in_buffer) {
        src.pub.next_input_byte += skip;
        src.pub.bytes_in_buffer -= skip;
        return;
    }
    // Past this block: drop it and move on in the data; the next fill starts
    // there, or supplies the end of image when nothing is left.
    skip -= src.pub.bytes_in_buffer;
    src.pub.bytes_in_buffer = 0;
    src.position += std::min(skip, src.size - src.position);
}

void TermSource(j_decompress_ptr) {}

// The codec reads 0 as no limit at all.
long CodecMemory()
{
    return static_cast<long>(std::clamp<std::uint64_t>(base::Limits().maxCodecBytes, 1, LONG_MAX));
}

TMemoryDestination& DestinationOf(j_compress_ptr info) { return *reinterpret_cast<TMemoryDestination*>(info->dest); }

// Appends the first count bytes of the block; false when memory runs out.
bool Append(TMemoryDestination& dest, std::size_t count) noexcept
{
    try {
        dest.output->insert(dest.output->end(), dest.block, dest.block + count);
        return true;
    } catch (...) {
        return false;
    }
}

void InitDestination(j_compress_ptr info)
{
    TMemoryDestination& dest = DestinationOf(info);
    dest.pub.next_output_byte = dest.block;
    dest.pub.free_in_buffer = kBlockSize;
}

boolean EmptyOutputBuffer(j_compress_ptr info)
{
    TMemoryDestination& dest = DestinationOf(info);
    // The codec asks for room with the whole block filled, whatever
    // free_in_buffer says.
    if (!Append(dest, kBlockSize))
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    dest.pub.next_output_byte = dest.block;
    dest.pub.free_in_buffer = kBlockSize;
    return TRUE;
}

void TermDestination(j_compress_ptr info)
{
    TMemoryDestination& dest = DestinationOf(info);
    if (!Append(dest, kBlockSize - dest.pub.free_in_buffer))
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
}

}  // namespace

bool CallWithLanding(TErrorManager& err, void (*fn)(void*), void* context) noexcept
{
    if (setjmp(err.landing) != 0)
        return false;
    fn(context);
    return true;
}

void RaiseCodecError(int messageCode)
{
    if (messageCode == kTooManyScans)
        throw EJPEG("JPEG file has more than " + std::to_string(base::Limits().maxScans) + " scans");
    throw EJPEG(messageCode);
}

TDecompressor::TDecompressor(std::span<const std::uint8_t> fileImage)
{
    m_info.err = SetUpErrors(m_err);
    Run([this] { jpeg_create_decompress(&m_info); });
    m_info.mem->max_memory_to_use = CodecMemory();

    m_source.data = fileImage.data();
    m_source.size = fileImage.size();
    m_source.pub.init_source = InitSource;
    m_source.pub.fill_input_buffer = FillInputBuffer;
    m_source.pub.skip_input_data = SkipInputData;
    m_source.pub.resync_to_restart = jpeg_resync_to_restart;
    m_source.pub.term_source = TermSource;
    m_info.src = &m_source.pub;

    m_progress.progress_monitor = MonitorProgress;
    m_info.progress = &m_progress;
}

TDecompressor::~TDecompressor() { jpeg_destroy_decompress(&m_info); }

void TDecompressor::Fail()
{
    // Destroying twice is harmless: the codec clears its memory manager.
    jpeg_destroy_decompress(&m_info);
    RaiseCodecError(m_err.messageCode);
}

TCompressor::TCompressor(std::vector<std::uint8_t>& output)
{
    m_info.err = SetUpErrors(m_err);
    Run([this] { jpeg_create_compress(&m_info); });
    m_info.mem->max_memory_to_use = CodecMemory();

    m_destination.output = &output;
    m_destination.pub.init_destination = InitDestination;
    m_destination.pub.empty_output_buffer = EmptyOutputBuffer;
    m_destination.pub.term_destination = TermDestination;
    m_info.dest = &m_destination.pub;
}

TCompressor::~TCompressor() { jpeg_destroy_compress(&m_info); }

void TCompressor::Fail()
{
    jpeg_destroy_compress(&m_info);
    RaiseCodecError(m_err.messageCode);
}

}  // namespace scalopex::formats::jpegcodec
