#pragma once
/// TPPMGraphic: reads portable bitmaps, grey maps and pixel maps (types P1
/// to P6, text and binary) into its own raster: bitmaps as 1-bit rasters
/// (entry 0 white), grey maps as 8-bit grey rasters, pixel maps as 24-bit.
/// Text values are stored modulo 256; binary files are read one byte per
/// sample, whatever their maximum. It does not write such files.

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace ppm {

/// Characters of a portable map through a window of at most 4096 bytes onto
/// the input, refilled when it is used up. A read past the end of the input
/// fails with "Stream read error in PPM file.".
class TBufferedReader {
public:
    static constexpr std::size_t kBufferSize = 4096;

    explicit TBufferedReader(base::ByteCursor& input) : m_input(input) {}

    std::uint8_t Read()
    {
        if (m_index == m_window.size())
            Refill();
        return m_window[m_index++];
    }
    /// The next character, or 0 when the window is used up.
    std::uint8_t Peek() const { return m_index < m_window.size() ? m_window[m_index] : 0; }
    /// True when no character is left in the window or the input.
    bool AtEnd() const { return m_index == m_window.size() && m_input.atEnd(); }
    /// Fills out with the next bytes.
    void ReadBytes(std::span<std::uint8_t> out);
    /// Moves the input to the first character not yet read.
    void Sync();

private:
    void Refill();

    base::ByteCursor& m_input;
    std::span<const std::uint8_t> m_window;
    std::size_t m_index = 0;
};

/// A decimal number of the header or of text pixel data: its value, held
/// at kSaturated when larger, and its exact remainder modulo 256.
struct TNumber {
    static constexpr std::uint64_t kSaturated = std::uint64_t{1} << 40;
    std::uint64_t value = 0;
    std::uint8_t low = 0;
};

/// Skips characters up to the first decimal digit (a "#" among them starts
/// a comment to the end of its line) and reads the digits. The character
/// after them is consumed; the number may also end the data.
TNumber ReadNumber(TBufferedReader& reader);

/// Skips to the next decimal digit as ReadNumber does and reads it alone:
/// a pixel of a text bitmap.
unsigned ReadDigit(TBufferedReader& reader);

/// The type and the numbers at the start of a file.
struct THeader {
    int type = 0;  // the type digit
    std::uint64_t width = 0, height = 0, maximum = 0;
};

/// Reads the first line and, for the types 1 to 6, the numbers. False when
/// the line does not start with "P"; a second character that is no digit
/// fails with the conversion error.
bool ReadHeader(TBufferedReader& reader, THeader& header);

}  // namespace ppm

class TPPMGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TPPMGraphic)

public:
    TPPMGraphic() = default;

    /// True when more than 10 bytes remain and they begin with "P" and a
    /// type digit 1 to 6; the stream position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;
    base::ByteCursor::ShortReadHandler ShortReadHandler() const override;

private:
    ppm::THeader m_header;
};

/// The content check of CanLoadStream on the first bytes of a file. Never throws.
bool IsPPM(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
