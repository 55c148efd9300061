// Row filters of both directions and the zlib state holders.

#include "formats/png/png_format.h"

#include <cstring>

#include "base/exceptions.h"

namespace scalopex::formats::png {

void UnfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::size_t d)
{
    const std::size_t lead = d < n ? d : n;  // bytes without a left neighbour
    switch (type) {
    case ftSub:
        for (std::size_t i = d; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - d]);
        break;
    case ftUp:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        break;
    case ftAverage:
        for (std::size_t i = 0; i < lead; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + (prev[i] >> 1));
        for (std::size_t i = lead; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - d] + prev[i]) >> 1));
        break;
    case ftPaeth:
        // With left and upper left taken as 0 the predictor is the upper byte.
        for (std::size_t i = 0; i < lead; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        for (std::size_t i = lead; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + PaethPredictor(row[i - d], prev[i], prev[i - d]));
        break;
    default:
        break;
    }
}

void FilterRow(std::uint8_t type, const std::uint8_t* row, const std::uint8_t* prev, std::uint8_t* out,
               std::size_t n, std::size_t d)
{
    const std::size_t lead = d < n ? d : n;
    switch (type) {
    case ftSub:
        std::memcpy(out, row, lead);
        for (std::size_t i = lead; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - row[i - d]);
        break;
    case ftUp:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - prev[i]);
        break;
    case ftAverage:
        for (std::size_t i = 0; i < lead; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - (prev[i] >> 1));
        for (std::size_t i = lead; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - ((row[i - d] + prev[i]) >> 1));
        break;
    case ftPaeth:
        for (std::size_t i = 0; i < lead; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - prev[i]);
        for (std::size_t i = lead; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - PaethPredictor(row[i - d], prev[i], prev[i - d]));
        break;
    default:
        std::memcpy(out, row, n);
        break;
    }
}

std::size_t RepeatCount(const std::uint8_t* filtered, std::size_t n)
{
    std::size_t count = 0;
    for (std::size_t j = 2; j < n; ++j)
        count += static_cast<std::size_t>((filtered[j] == filtered[j - 1]) | (filtered[j] == filtered[j - 2]));
    return count;
}

InflateState::InflateState()
{
    if (::inflateInit(&m_stream) != Z_OK)
        throw base::EOutOfResources();
    m_live = true;
}

InflateState::~InflateState()
{
    if (m_live)
        ::inflateEnd(&m_stream);
}

bool InflateState::Finish()
{
    if (!m_live)
        return true;
    m_live = false;
    return ::inflateEnd(&m_stream) == Z_OK;
}

DeflateState::DeflateState(int level, int windowBits, int memLevel, int strategy)
{
    if (::deflateInit2(&m_stream, level, Z_DEFLATED, windowBits, memLevel, strategy) != Z_OK)
        throw base::EOutOfResources();
}

DeflateState::~DeflateState()
{
    ::deflateEnd(&m_stream);
}

}  // namespace scalopex::formats::png
