#include "formats/pcx/pcx_rle.h"

#include <algorithm>
#include <cstring>

namespace scalopex::formats {

void TPCXRLEDecoder::StartDecoding()
{
    m_pendingRun = 0;
    m_runValue = 0;
}

std::size_t TPCXRLEDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    if (dest.empty())
        return 0;  // a run still owed stays owed
    std::uint8_t* const out = dest.data();
    const std::size_t room = dest.size();
    std::size_t written = std::min(m_pendingRun, room);
    std::memset(out, m_runValue, written);
    m_pendingRun -= written;

    const std::span<const std::uint8_t> in = source.rest();
    std::size_t i = 0;
    while (written < room && i < in.size()) {
        const std::uint8_t b = in[i];
        if (b < 0xC0) {
            out[written++] = b;
            ++i;
            continue;
        }
        if (i + 1 == in.size())
            break;  // the run's value is not in the data
        const std::uint8_t value = in[i + 1];
        i += 2;
        const std::size_t count = b & 0x3Fu;
        const std::size_t n = std::min(count, room - written);
        std::memset(out + written, value, n);
        written += n;
        if (n < count) {
            m_pendingRun = count - n;
            m_runValue = value;
        }
    }
    source.skip(i);
    return written;
}

}  // namespace scalopex::formats
