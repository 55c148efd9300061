// The CCITT run codes and the TIFF LZW strip decoder on hand-coded bits:
// runs that need make-up and extended make-up codes (ITU-T T.4 tables), the
// EOL code, and LZW strips in the current and the old-style bit order.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/bit_reader.h"
#include "base/byte_cursor.h"
#include "formats/common/ccitt.h"
#include "formats/common/lzw.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;

int RunLength(const Bytes& bits, bool black)
{
    base::BitReader reader(bits, base::BitOrder::MsbFirst);
    return TCCITTDecoder::ReadRun(reader, black);
}

TEST(CCITTRuns, makeUpCodesAddUpUntilATerminatingCode)
{
    EXPECT_EQ(RunLength({0xDC, 0x00}, false), 67);          // white 64 + 3
    EXPECT_EQ(RunLength({0x03, 0x29, 0x80}, true), 1733);   // black 1728 + 5
    EXPECT_EQ(RunLength({0x01, 0x06, 0xA0}, false), 1792);  // extended 1792 + white 0
    EXPECT_EQ(RunLength({0x01, 0xF0, 0xDC}, true), 2560);   // extended 2560 + black 0
}

TEST(CCITTRuns, eolAndPatternsThatBeginNoCode)
{
    EXPECT_EQ(RunLength({0x00, 0x10}, false), TCCITTDecoder::kEOL);
    EXPECT_EQ(RunLength({0x00, 0x00, 0x00}, false), TCCITTDecoder::kInvalid);
    EXPECT_LT(RunLength({}, true), 0);
}

std::string DecodeLzw(const Bytes& strip, std::size_t size)
{
    TLZWDecoder decoder;
    decoder.StartDecoding();
    std::string out(size, '.');
    base::ByteCursor source(strip);
    decoder.Decode(source, std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(out.data()), out.size()));
    decoder.FinishDecoding();
    return out;
}

TEST(TiffLzw, readsBothBitOrders)
{
    // Clear, 'A', 'B', "AB", end: most significant bit first, then the
    // old-style coding, least significant bit first.
    EXPECT_EQ(DecodeLzw({0x80, 0x10, 0x48, 0x50, 0x28, 0x08}, 4), "ABAB");
    EXPECT_EQ(DecodeLzw({0x00, 0x83, 0x08, 0x11, 0x18, 0x10}, 4), "ABAB");
}

TEST(TiffLzw, neverWritesPastItsBufferAndKeepsTheRestOnBadCodes)
{
    EXPECT_EQ(DecodeLzw({0x80, 0x10, 0x48, 0x50, 0x28, 0x08}, 3), "ABA");
    // Clear, 'A', then code 300, which the table does not hold yet.
    EXPECT_EQ(DecodeLzw({0x80, 0x10, 0x65, 0x80}, 4), "A...");
}

}  // namespace
}  // namespace scalopex::formats
