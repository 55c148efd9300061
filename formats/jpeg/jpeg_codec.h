#pragma once
// Codec plumbing behind TJPEGImage (private to this module): compressor and
// decompressor states that release themselves, a memory source and a memory
// destination working in 4096-byte blocks, and the landing point that turns a
// fatal codec error into an exception.
//
// The codec reports a fatal error by calling its error exit, which must not
// return. Ours jumps back to a landing point armed right around the codec
// call (CallWithLanding). Only codec frames and plain-data bodies lie between
// the two, so the jump skips no C++ object; the exception is raised after the
// jump, once the codec state has been destroyed.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs size_t and FILE declared first
#include <span>
#include <vector>

#include <jpeglib.h>

namespace scalopex::formats::jpegcodec {

// Bytes handed to or taken from the codec at a time.
inline constexpr std::size_t kBlockSize = 4096;
// Our own fatal error, kept apart from the codec's message numbers: a file
// with more scans than base::Limits().maxScans. Codec working memory
// (coefficient buffers of multi-scan files) is capped at
// base::Limits().maxCodecBytes; beyond it the codec fails instead of
// exhausting memory.
inline constexpr int kTooManyScans = -1;

struct TErrorManager {
    jpeg_error_mgr pub;  // first member: the codec sees only this part
    std::jmp_buf landing;
    int messageCode;     // of the fatal error that jumped to the landing
};

// Runs fn(context) with the landing point armed. Returns true when fn
// finished, false when a fatal error ended it (its number in
// err.messageCode). fn must not throw, and must keep no object with a
// destructor alive while it calls the codec.
bool CallWithLanding(TErrorManager& err, void (*fn)(void*), void* context) noexcept;

template <typename Body>
bool CallWithLanding(TErrorManager& err, Body& body) noexcept
{
    return CallWithLanding(err, [](void* p) { (*static_cast<Body*>(p))(); }, &body);
}

// Raises the module's exception for a fatal error caught by CallWithLanding.
[[noreturn]] void RaiseCodecError(int messageCode);

struct TMemorySource {
    jpeg_source_mgr pub;  // first member
    const JOCTET* data;
    std::size_t size;
    std::size_t position;  // next byte to hand over
    bool started;          // at least one byte was handed over
};

struct TMemoryDestination {
    jpeg_destination_mgr pub;  // first member
    std::vector<std::uint8_t>* output;
    JOCTET block[kBlockSize];
};

// A decompressor reading a file image held in memory. The file image must
// outlive it. Destroying it releases the codec state.
class TDecompressor {
public:
    explicit TDecompressor(std::span<const std::uint8_t> fileImage);
    ~TDecompressor();
    TDecompressor(const TDecompressor&) = delete;
    TDecompressor& operator=(const TDecompressor&) = delete;

    jpeg_decompress_struct& Info() { return m_info; }

    // Runs body (codec calls on Info()). A fatal codec error destroys the
    // codec state, then raises EJPEG.
    template <typename Body>
    void Run(Body body)
    {
        if (!CallWithLanding(m_err, body))
            Fail();
    }

private:
    [[noreturn]] void Fail();

    jpeg_decompress_struct m_info{};
    TErrorManager m_err{};
    TMemorySource m_source{};
    jpeg_progress_mgr m_progress{};
};

// A compressor appending its output to a byte vector, which must outlive it.
class TCompressor {
public:
    explicit TCompressor(std::vector<std::uint8_t>& output);
    ~TCompressor();
    TCompressor(const TCompressor&) = delete;
    TCompressor& operator=(const TCompressor&) = delete;

    jpeg_compress_struct& Info() { return m_info; }

    template <typename Body>
    void Run(Body body)
    {
        if (!CallWithLanding(m_err, body))
            Fail();
    }

private:
    [[noreturn]] void Fail();

    jpeg_compress_struct m_info{};
    TErrorManager m_err{};
    TMemoryDestination m_destination{};
};

}  // namespace scalopex::formats::jpegcodec
