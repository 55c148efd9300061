#pragma once
/// TThunderDecoder: ThunderScan 4-bit grey (TIFF compression 32809), two
/// pixels a byte, high nibble first. Each code byte repeats the last pixel,
/// adds two or three small deltas to it, or gives a new value; every row
/// starts on a new byte with the last pixel 0.

#include "base/decoder.h"

namespace scalopex::formats {

class TThunderDecoder final : public base::TDecoder {
public:
    /// Rows of width pixels, bytesPerLine bytes each.
    TThunderDecoder(int width, std::size_t bytesPerLine);

    /// Decodes rows from the whole of source (one strip) until dest is full
    /// or the data end; returns the bytes of the rows begun.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;

private:
    int m_width;
    std::size_t m_bytesPerLine;
};

}  // namespace scalopex::formats
