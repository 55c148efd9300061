// Modified Huffman run lengths of ITU-T T.4 (tables 2 and 3, with the
// extended make-up codes shared by both colours).

#include "formats/common/ccitt.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace scalopex::formats {

namespace {

struct TCode {
    std::string_view bits;
    int run;
};

constexpr TCode kWhite[] = {
    {"00110101", 0},     {"000111", 1},       {"0111", 2},         {"1000", 3},         {"1011", 4},
    {"1100", 5},         {"1110", 6},         {"1111", 7},         {"10011", 8},        {"10100", 9},
    {"00111", 10},       {"01000", 11},       {"001000", 12},      {"000011", 13},      {"110100", 14},
    {"110101", 15},      {"101010", 16},      {"101011", 17},      {"0100111", 18},     {"0001100", 19},
    {"0001000", 20},     {"0010111", 21},     {"0000011", 22},     {"0000100", 23},     {"0101000", 24},
    {"0101011", 25},     {"0010011", 26},     {"0100100", 27},     {"0011000", 28},     {"00000010", 29},
    {"00000011", 30},    {"00011010", 31},    {"00011011", 32},    {"00010010", 33},    {"00010011", 34},
    {"00010100", 35},    {"00010101", 36},    {"00010110", 37},    {"00010111", 38},    {"00101000", 39},
    {"00101001", 40},    {"00101010", 41},    {"00101011", 42},    {"00101100", 43},    {"00101101", 44},
    {"00000100", 45},    {"00000101", 46},    {"00001010", 47},    {"00001011", 48},    {"01010010", 49},
    {"01010011", 50},    {"01010100", 51},    {"01010101", 52},    {"00100100", 53},    {"00100101", 54},
    {"01011000", 55},    {"01011001", 56},    {"01011010", 57},    {"01011011", 58},    {"01001010", 59},
    {"01001011", 60},    {"00110010", 61},    {"00110011", 62},    {"00110100", 63},    {"11011", 64},
    {"10010", 128},      {"010111", 192},     {"0110111", 256},    {"00110110", 320},   {"00110111", 384},
    {"01100100", 448},   {"01100101", 512},   {"01101000", 576},   {"01100111", 640},   {"011001100", 704},
    {"011001101", 768},  {"011010010", 832},  {"011010011", 896},  {"011010100", 960},  {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280}, {"011011010", 1344},
    {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536}, {"010011010", 1600}, {"011000", 1664},
    {"010011011", 1728},
};

constexpr TCode kBlack[] = {
    {"0000110111", 0},
    {"010", 1},
    {"11", 2},
    {"10", 3},
    {"011", 4},
    {"0011", 5},
    {"0010", 6},
    {"00011", 7},
    {"000101", 8},
    {"000100", 9},
    {"0000100", 10},
    {"0000101", 11},
    {"0000111", 12},
    {"00000100", 13},
    {"00000111", 14},
    {"000011000", 15},
    {"0000010111", 16},
    {"0000011000", 17},
    {"0000001000", 18},
    {"00001100111", 19},
    {"00001101000", 20},
    {"00001101100", 21},
    {"00000110111", 22},
    {"00000101000", 23},
    {"00000010111", 24},
    {"00000011000", 25},
    {"000011001010", 26},
    {"000011001011", 27},
    {"000011001100", 28},
    {"000011001101", 29},
    {"000001101000", 30},
    {"000001101001", 31},
    {"000001101010", 32},
    {"000001101011", 33},
    {"000011010010", 34},
    {"000011010011", 35},
    {"000011010100", 36},
    {"000011010101", 37},
    {"000011010110", 38},
    {"000011010111", 39},
    {"000001101100", 40},
    {"000001101101", 41},
    {"000011011010", 42},
    {"000011011011", 43},
    {"000001010100", 44},
    {"000001010101", 45},
    {"000001010110", 46},
    {"000001010111", 47},
    {"000001100100", 48},
    {"000001100101", 49},
    {"000001010010", 50},
    {"000001010011", 51},
    {"000000100100", 52},
    {"000000110111", 53},
    {"000000111000", 54},
    {"000000100111", 55},
    {"000000101000", 56},
    {"000001011000", 57},
    {"000001011001", 58},
    {"000000101011", 59},
    {"000000101100", 60},
    {"000001011010", 61},
    {"000001100110", 62},
    {"000001100111", 63},
    {"0000001111", 64},
    {"000011001000", 128},
    {"000011001001", 192},
    {"000001011011", 256},
    {"000000110011", 320},
    {"000000110100", 384},
    {"000000110101", 448},
    {"0000001101100", 512},
    {"0000001101101", 576},
    {"0000001001010", 640},
    {"0000001001011", 704},
    {"0000001001100", 768},
    {"0000001001101", 832},
    {"0000001110010", 896},
    {"0000001110011", 960},
    {"0000001110100", 1024},
    {"0000001110101", 1088},
    {"0000001110110", 1152},
    {"0000001110111", 1216},
    {"0000001010010", 1280},
    {"0000001010011", 1344},
    {"0000001010100", 1408},
    {"0000001010101", 1472},
    {"0000001011010", 1536},
    {"0000001011011", 1600},
    {"0000001100100", 1664},
    {"0000001100101", 1728},
};

// Both colours: the extended make-up codes, the EOL, and the patterns that
// begin no code.
constexpr TCode kShared[] = {
    {"00000001000", 1792},
    {"00000001100", 1856},
    {"00000001101", 1920},
    {"000000010010", 1984},
    {"000000010011", 2048},
    {"000000010100", 2112},
    {"000000010101", 2176},
    {"000000010110", 2240},
    {"000000010111", 2304},
    {"000000011100", 2368},
    {"000000011101", 2432},
    {"000000011110", 2496},
    {"000000011111", 2560},
    {"000000000001", TCCITTDecoder::kEOL},
    {"000000001", TCCITTDecoder::kInvalid},
    {"0000000001", TCCITTDecoder::kInvalid},
    {"00000000001", TCCITTDecoder::kInvalid},
    {"000000000000", TCCITTDecoder::kInvalid},
};

constexpr int kMaxCodeBits = 13;
constexpr std::int16_t kNoCode = -100;

// Codes looked up by (1 << length) | bits, a table per colour.
struct TCodeTables {
    std::array<std::int16_t, std::size_t{2} << kMaxCodeBits> white;
    std::array<std::int16_t, std::size_t{2} << kMaxCodeBits> black;

    TCodeTables()
    {
        white.fill(kNoCode);
        black.fill(kNoCode);
        auto add = [](std::array<std::int16_t, std::size_t{2} << kMaxCodeBits>& table, const TCode& code) {
            std::size_t key = 1;
            for (const char bit : code.bits)
                key = (key << 1) | (bit == '1' ? 1u : 0u);
            table[key] = static_cast<std::int16_t>(code.run);
        };
        for (const TCode& code : kWhite)
            add(white, code);
        for (const TCode& code : kBlack)
            add(black, code);
        for (const TCode& code : kShared) {
            add(white, code);
            add(black, code);
        }
    }
};

const TCodeTables& Tables()
{
    static const TCodeTables tables;
    return tables;
}

std::uint8_t Reversed(std::uint8_t b)
{
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// A run sum no row can need, and that cannot overflow.
constexpr int kRunCap = 1 << 30;

}  // namespace

TCCITTDecoder::TCCITTDecoder(int width, std::size_t bytesPerLine, bool reversedBits, std::uint32_t options)
    : m_width(std::max(width, 0)), m_bytesPerLine(bytesPerLine), m_reversedBits(reversedBits), m_options(options)
{}

int TCCITTDecoder::ReadCode(base::BitReader& bits, bool black)
{
    const auto& table = black ? Tables().black : Tables().white;
    std::size_t key = 1;
    for (int length = 1; length <= kMaxCodeBits; ++length) {
        std::uint32_t bit = 0;
        if (!bits.TryRead(1, bit))
            return kDataEnd;
        key = (key << 1) | bit;
        const int value = table[key];
        if (value != kNoCode)
            return value;
    }
    return kInvalid;  // not reached: every pattern of 13 bits begins with a code
}

int TCCITTDecoder::ReadRun(base::BitReader& bits, bool black)
{
    int total = 0;
    for (;;) {
        const int code = ReadCode(bits, black);
        if (code < 0)
            return code;
        if (code < 64)
            return std::min(total + code, kRunCap);
        total = std::min(total + code, kRunCap);
    }
}

void TCCITTDecoder::PutBlack(std::uint8_t* row, int x, int count) const
{
    const int end = std::min(m_width, x + std::max(count, 0));
    if (x >= end)
        return;
    int first = x;
    // Leading bits up to a byte boundary, whole bytes, then trailing bits.
    while (first < end && (first & 7) != 0) {
        row[first >> 3] |= static_cast<std::uint8_t>(0x80u >> (first & 7));
        ++first;
    }
    const int whole = (end - first) >> 3;
    if (whole > 0) {
        std::memset(row + (first >> 3), 0xFF, static_cast<std::size_t>(whole));
        first += whole << 3;
    }
    while (first < end) {
        row[first >> 3] |= static_cast<std::uint8_t>(0x80u >> (first & 7));
        ++first;
    }
}

std::size_t TCCITTDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    std::memset(dest.data(), 0, dest.size());
    std::span<const std::uint8_t> data = source.rest();
    if (m_reversedBits) {
        m_reversed.resize(data.size());
        std::transform(data.begin(), data.end(), m_reversed.begin(), Reversed);
        data = m_reversed;
    }
    base::BitReader bits(data, base::BitOrder::MsbFirst);
    // Rows of a width that do not fit their line would be written past it.
    if (m_bytesPerLine > 0 && (static_cast<std::size_t>(m_width) + 7) / 8 <= m_bytesPerLine)
        DecodeRows(bits, dest);
    source.skip(std::min(bits.BytePosition(), source.remaining()));
    return dest.size();
}

void TCCITTFax3Decoder::DecodeRows(base::BitReader& bits, std::span<std::uint8_t> dest)
{
    const std::size_t rows = dest.size() / BytesPerLine();
    bool endedOnEOL = false;
    for (std::size_t y = 0; y < rows && !bits.AtEnd(); ++y) {
        if (!endedOnEOL) {
            // Past eleven 0 bits in a row, then past the 1 bit that ends the EOL.
            int zeros = 0;
            std::uint32_t bit = 0;
            while (zeros < 11 && bits.TryRead(1, bit))
                zeros = bit == 0 ? zeros + 1 : 0;
            while (bits.TryRead(1, bit) && bit == 0) {
            }
            if (bits.AtEnd() && bit == 0)
                return;
        }
        endedOnEOL = false;
        std::uint8_t* row = dest.data() + y * BytesPerLine();
        int x = 0;
        bool black = false;
        while (x < Width()) {
            const int run = ReadRun(bits, black);
            if (run == kDataEnd)
                return;
            if (run == kEOL) {
                endedOnEOL = true;
                break;
            }
            if (run == kInvalid)
                break;
            if (black)
                PutBlack(row, x, run);
            x = std::min(Width(), x + run);
            black = !black;
        }
    }
}

void TCCITTMHDecoder::DecodeRows(base::BitReader& bits, std::span<std::uint8_t> dest)
{
    const std::size_t rows = dest.size() / BytesPerLine();
    for (std::size_t y = 0; y < rows && !bits.AtEnd(); ++y) {
        std::uint8_t* row = dest.data() + y * BytesPerLine();
        int x = 0;
        bool black = false;
        while (x < Width()) {
            const int run = ReadRun(bits, black);
            if (run == kDataEnd)
                return;
            if (run > 0) {
                if (black)
                    PutBlack(row, x, run);
                x = std::min(Width(), x + run);
            }
            black = !black;
        }
        bits.AlignToByte();
        if (m_wordAligned && bits.BytePosition() % 2 != 0) {
            std::uint32_t skipped = 0;
            bits.TryRead(8, skipped);
        }
    }
}

}  // namespace scalopex::formats
