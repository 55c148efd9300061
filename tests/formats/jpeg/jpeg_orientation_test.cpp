// Exif orientation: reading the tag from hostile Exif blocks, and files of
// all eight orientations opening upright, checked against ImageMagick's
// -auto-orient and against where a marked corner must land.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bitmap.h"
#include "formats/jpeg/exif_orientation.h"
#include "formats/jpeg/jpeg_image.h"
#include "tests/formats/jpeg/jpeg_test_util.h"
#include "tests/support/byte_builder.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::jpeg;
using formats::ExifOrientation;
using test::ByteBuilder;

namespace {

enum class Order { Little, Big };

// "Exif\0\0", then a TIFF header and a first IFD holding entries of
// (tag, type, count, value); value is a SHORT left-justified in its field.
struct TEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint16_t value;
};

std::vector<std::uint8_t> ExifBlock(Order order, const std::vector<TEntry>& entries, std::uint32_t ifdOffset = 8)
{
    const bool le = order == Order::Little;
    ByteBuilder b;
    b.text("Exif").u8(0).u8(0);
    b.text(le ? "II" : "MM");
    le ? b.u16le(42) : b.u16be(42);
    le ? b.u32le(ifdOffset) : b.u32be(ifdOffset);
    le ? b.u16le(static_cast<std::uint32_t>(entries.size())) : b.u16be(static_cast<std::uint32_t>(entries.size()));
    for (const TEntry& e : entries) {
        if (le)
            b.u16le(e.tag).u16le(e.type).u32le(e.count).u16le(e.value).u16le(0);
        else
            b.u16be(e.tag).u16be(e.type).u32be(e.count).u16be(e.value).u16be(0);
    }
    b.u32le(0);  // no next IFD
    return b.take();
}

std::vector<std::uint8_t> OrientationBlock(Order order, int orientation)
{
    return ExifBlock(order, {{0x010F, 2, 4, 0x4142}, {0x0112, 3, 1, static_cast<std::uint16_t>(orientation)}});
}

TEST(ExifOrientation, readsEveryValueInBothByteOrders)
{
    for (const Order order : {Order::Little, Order::Big})
        for (int value = 1; value <= 8; ++value)
            EXPECT_EQ(ExifOrientation(OrientationBlock(order, value)), value) << (order == Order::Little ? "II " : "MM ") << value;
}

TEST(ExifOrientation, damagedOrForeignBlocksCountAsUpright)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> block;
    };
    std::vector<std::uint8_t> badMagic = OrientationBlock(Order::Little, 6);
    badMagic[8] = 43;
    std::vector<std::uint8_t> mixedOrder = OrientationBlock(Order::Little, 6);
    mixedOrder[7] = 'M';
    std::vector<std::uint8_t> notExif = OrientationBlock(Order::Little, 6);
    notExif[0] = 'e';
    std::vector<std::uint8_t> manyEntries = ExifBlock(Order::Little, {{0x010F, 2, 4, 0}});
    manyEntries[14] = manyEntries[15] = 0xFF;  // 65535 entries claimed, one present
    const std::vector<Case> cases = {
        {"value 0", OrientationBlock(Order::Little, 0)},
        {"value 9", OrientationBlock(Order::Big, 9)},
        {"type LONG", ExifBlock(Order::Little, {{0x0112, 4, 1, 6}})},
        {"count 0", ExifBlock(Order::Little, {{0x0112, 3, 0, 6}})},
        {"IFD offset past the end", ExifBlock(Order::Little, {{0x0112, 3, 1, 6}}, 0xFFFFFFF0u)},
        {"IFD offset at the end", ExifBlock(Order::Big, {{0x0112, 3, 1, 6}}, 26)},
        {"no orientation tag", ExifBlock(Order::Little, {{0x010F, 2, 4, 0}})},
        {"entry count past the end", manyEntries},
        {"bad TIFF magic", badMagic},
        {"mixed byte-order mark", mixedOrder},
        {"not an Exif block", notExif},
        {"empty", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExifOrientation(c.block), 1) << c.what;
}

TEST(ExifOrientation, everyCutOfABlockIsSafe)
{
    const std::vector<std::uint8_t> block = OrientationBlock(Order::Big, 7);
    // Exif header 6, TIFF header 8, count 2, first entry 12, then the
    // orientation entry's tag, type and count (8) and its value (2).
    const std::size_t complete = 38;
    for (std::size_t length = 0; length <= block.size(); ++length) {
        const int value = ExifOrientation(std::span(block.data(), length));
        EXPECT_EQ(value, length >= complete ? 7 : 1) << "cut at " << length;
    }
}

// A 32 x 16 picture: red, with a blue 8 x 8 block in its stored top-left
// corner and a green one in its stored bottom-right corner.
std::vector<std::uint8_t> MarkedFile()
{
    const auto bitmap = test::MakeBitmap24(32, 16, [](int x, int y) {
        if (x < 8 && y < 8)
            return 0x0000FFu;
        if (x >= 24 && y >= 8)
            return 0x00FF00u;
        return 0xFF0000u;
    });
    return EncodeBitmap(*bitmap);
}

// file with an APP1 block inserted after its APP0 segment.
std::vector<std::uint8_t> WithApp1(std::vector<std::uint8_t> file, const std::vector<std::uint8_t>& payload)
{
    const std::size_t afterApp0 = 4 + (static_cast<std::size_t>(file[4]) << 8 | file[5]);
    std::vector<std::uint8_t> segment = {0xFF, 0xE1, static_cast<std::uint8_t>((payload.size() + 2) >> 8),
                                         static_cast<std::uint8_t>(payload.size() + 2)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(afterApp0), segment.begin(), segment.end());
    return file;
}

bool IsBlue(const TPixmap& p, int x, int y)
{
    const std::uint8_t* px = p.At(x, y);
    return px[2] > 200 && px[0] < 60 && px[1] < 60;
}

TEST(JpegOrientation, eachOfTheEightOrientationsOpensUpright)
{
    test::TempDir dir;
    const std::vector<std::uint8_t> stored = MarkedFile();
    // Where the blue block of the stored top-left corner must appear.
    enum Corner { TL, TR, BR, BL };
    const Corner blueAt[9] = {TL, TL, TR, BR, BL, TL, TR, BR, BL};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const std::vector<std::uint8_t> file =
            WithApp1(stored, OrientationBlock(orientation % 2 ? Order::Little : Order::Big, orientation));
        const std::string path = dir.file(std::to_string(orientation) + "-orientation.jpg");
        test::WriteBytes(path, file);

        const auto jpeg = LoadJpeg(file);
        const bool turned = orientation >= 5;
        EXPECT_EQ(jpeg->Width(), turned ? 16 : 32) << "before decoding";
        EXPECT_EQ(jpeg->Height(), turned ? 32 : 16) << "before decoding";

        const TPixmap upright = ToPixmap(jpeg->Bitmap());
        ASSERT_EQ(upright.width, turned ? 16 : 32);
        ASSERT_EQ(upright.height, turned ? 32 : 16);
        const int right = upright.width - 2, bottom = upright.height - 2;
        const int cx[4] = {1, right, right, 1}, cy[4] = {1, 1, bottom, bottom};
        EXPECT_TRUE(IsBlue(upright, cx[blueAt[orientation]], cy[blueAt[orientation]]));

        const auto reference = RunForPnm("convert '" + path + "' -auto-orient ppm:-");
        ASSERT_TRUE(reference);
        EXPECT_LE(MaxDifference(upright, *reference), 8) << "against ImageMagick";
    }
}

TEST(JpegOrientation, turnedFileKeepsTurningWhenScaledOrGrey)
{
    const std::vector<std::uint8_t> file = WithApp1(MarkedFile(), OrientationBlock(Order::Big, 6));
    auto scaled = LoadJpeg(file);
    scaled->SetDecodeScale(1);
    EXPECT_EQ(scaled->Width(), 8);
    EXPECT_EQ(scaled->Height(), 16);
    EXPECT_EQ(scaled->Bitmap().Width(), 8);
    EXPECT_EQ(scaled->Bitmap().Height(), 16);

    auto grey = LoadJpeg(file);
    grey->SetGrayDecode(true);
    EXPECT_EQ(grey->Bitmap().PixelFormat(), core::pf8bit);
    EXPECT_EQ(grey->Bitmap().Width(), 16);
    // The dark blue block turns to the top-right corner.
    const TPixmap pixels = ToPixmap(grey->Bitmap());
    EXPECT_LT(pixels.At(14, 1)[0], pixels.At(1, 1)[0]);
}

TEST(JpegOrientation, damagedExifBlockDecodesAsStored)
{
    std::vector<std::uint8_t> block = OrientationBlock(Order::Little, 6);
    block.resize(20);  // cut inside the first entry
    const auto jpeg = LoadJpeg(WithApp1(MarkedFile(), block));
    EXPECT_EQ(jpeg->Width(), 32);
    EXPECT_EQ(jpeg->Bitmap().Width(), 32);
    EXPECT_TRUE(IsBlue(ToPixmap(jpeg->Bitmap()), 1, 1));
}

TEST(JpegOrientation, reencodedPictureIsStoredUpright)
{
    auto jpeg = LoadJpeg(WithApp1(MarkedFile(), OrientationBlock(Order::Little, 8)));
    jpeg->Encode();
    const auto again = LoadJpeg(jpeg->Data().fileImage);
    EXPECT_EQ(again->Data().orientation, 1);
    EXPECT_EQ(again->Width(), 16);
    EXPECT_TRUE(IsBlue(ToPixmap(again->Bitmap()), 1, 30));
}

}  // namespace
