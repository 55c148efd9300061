#include "formats/common/lz77.h"

#include <algorithm>
#include <limits>

namespace scalopex::formats {

namespace {

// zlib counts in uInt; larger pieces are taken in turns.
constexpr std::size_t kMaxPiece = std::numeric_limits<uInt>::max();

}  // namespace

TLZ77Decoder::~TLZ77Decoder()
{
    if (m_live)
        ::inflateEnd(&m_stream);
}

void TLZ77Decoder::StartDecoding()
{
    if (m_live)
        return;
    m_stream = z_stream{};
    if (::inflateInit(&m_stream) != Z_OK)
        throw base::EGraphicCompression(kSLZ77Error);
    m_live = true;
}

void TLZ77Decoder::FinishDecoding()
{
    if (!m_live)
        return;
    m_live = false;
    if (::inflateEnd(&m_stream) != Z_OK)
        throw base::EGraphicCompression(kSLZ77Error);
}

bool TLZ77Decoder::Step(std::span<const std::uint8_t>& input, std::span<std::uint8_t>& output, int flush)
{
    m_stream.next_in = const_cast<Bytef*>(input.data());  // zlib's interface is not const
    m_stream.avail_in = static_cast<uInt>(std::min(input.size(), kMaxPiece));
    m_stream.next_out = output.data();
    m_stream.avail_out = static_cast<uInt>(std::min(output.size(), kMaxPiece));
    const uInt inBefore = m_stream.avail_in;
    const uInt outBefore = m_stream.avail_out;
    m_result = ::inflate(&m_stream, flush);
    input = input.subspan(inBefore - m_stream.avail_in);
    output = output.subspan(outBefore - m_stream.avail_out);
    return m_stream.avail_in != inBefore || m_stream.avail_out != outBefore;
}

std::size_t TLZ77Decoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    StartDecoding();
    ::inflateReset(&m_stream);
    std::span<const std::uint8_t> input = source.rest();
    std::span<std::uint8_t> output = dest;
    const std::size_t available = input.size();
    bool more = true;
    while (more)
        more = Step(input, output, Z_PARTIAL_FLUSH) && m_result == Z_OK && !output.empty() && !input.empty();
    source.skip(available - input.size());
    return dest.size() - output.size();
}

TLZ77Decoder::TInflate TLZ77Decoder::Inflate(std::span<const std::uint8_t>& input, std::span<std::uint8_t>& output)
{
    StartDecoding();
    // Without room for output the inflater may still take the stream's
    // checksum, so only missing input stalls it.
    if (input.empty()) {
        m_result = Z_BUF_ERROR;
        return TInflate::Stalled;
    }
    Step(input, output, Z_NO_FLUSH);
    switch (m_result) {
    case Z_OK: return TInflate::Progress;
    case Z_STREAM_END: return TInflate::StreamEnd;
    case Z_BUF_ERROR: return TInflate::Stalled;
    default: return TInflate::Error;
    }
}

}  // namespace scalopex::formats
