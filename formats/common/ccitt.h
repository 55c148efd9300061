#pragma once
/// The CCITT decoders of bilevel images (TIFF compressions 2, 3 and 32771):
/// rows of alternating white and black runs, each row starting white, coded
/// with the modified Huffman codes of ITU-T T.4. TCCITTFax3Decoder reads
/// one-dimensional group 3 data, rows introduced by EOL codes;
/// TCCITTMHDecoder reads rows without EOLs, each starting on a new byte (or
/// on an even byte with word alignment). Decoded rows hold white as 0 bits
/// and black as 1 bits, most significant bit first.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/bit_reader.h"
#include "base/decoder.h"

namespace scalopex::formats {

class TCCITTDecoder : public base::TDecoder {
public:
    /// What reading one code may give besides a run length.
    static constexpr int kEOL = -1;      // 000000000001
    static constexpr int kInvalid = -2;  // a pattern no code begins with
    static constexpr int kDataEnd = -3;  // the bits ran out inside the code

    /// Rows of width pixels, bytesPerLine bytes each. With reversedBits (fill
    /// order 2) the bits of every source byte are reversed before decoding.
    /// options are the file's group 3 options (T4Options).
    TCCITTDecoder(int width, std::size_t bytesPerLine, bool reversedBits, std::uint32_t options);

    /// Clears dest, then decodes rows from the whole of source (one strip)
    /// into it; returns dest's size.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) final;

    /// One code of the colour's table (no make-up summing): a run length of 0
    /// to 2560, kEOL, kInvalid or kDataEnd.
    static int ReadCode(base::BitReader& bits, bool black);
    /// A whole run: make-up codes add up until a terminating code (0 to 63)
    /// ends it; kEOL, kInvalid or kDataEnd as soon as one is met.
    static int ReadRun(base::BitReader& bits, bool black);

protected:
    /// Decodes rows into dest, which is clear.
    virtual void DecodeRows(base::BitReader& bits, std::span<std::uint8_t> dest) = 0;

    /// Sets the pixels [x, x + count) of row black, clipped to the row's width.
    void PutBlack(std::uint8_t* row, int x, int count) const;

    int Width() const { return m_width; }
    std::size_t BytesPerLine() const { return m_bytesPerLine; }
    std::uint32_t Options() const { return m_options; }

private:
    int m_width;
    std::size_t m_bytesPerLine;
    bool m_reversedBits;
    std::uint32_t m_options;
    std::vector<std::uint8_t> m_reversed;  // the strip with its bits reversed
};

/// One-dimensional group 3 (compression 3): before each row the data are
/// moved past an EOL (eleven 0 bits, then up to the next 1 bit), unless the
/// previous row ended on one; a row ends when it is full, on an EOL or on an
/// invalid code.
class TCCITTFax3Decoder final : public TCCITTDecoder {
public:
    using TCCITTDecoder::TCCITTDecoder;

protected:
    void DecodeRows(base::BitReader& bits, std::span<std::uint8_t> dest) override;
};

/// Modified Huffman rows without EOLs (compression 2, and 32771 with word
/// alignment): after each row the rest of its last byte is skipped; codes of
/// length 0 or that are no run write nothing, and the colour alternates
/// after every run.
class TCCITTMHDecoder final : public TCCITTDecoder {
public:
    TCCITTMHDecoder(int width, std::size_t bytesPerLine, bool reversedBits, std::uint32_t options, bool wordAligned)
        : TCCITTDecoder(width, bytesPerLine, reversedBits, options), m_wordAligned(wordAligned)
    {}

protected:
    void DecodeRows(base::BitReader& bits, std::span<std::uint8_t> dest) override;

private:
    bool m_wordAligned;
};

}  // namespace scalopex::formats
