// Shared helpers: MulDiv, path helpers, the byte cursor, limits and messages.

#include <gtest/gtest.h>

#include "base/byte_cursor.h"
#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/limits.h"
#include "base/paths.h"
#include "tests/support/test_files.h"

using namespace scalopex::base;
using namespace scalopex::core;

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero)
{
    struct Row {
        std::int32_t a, b, c, expected;
    } rows[] = {
        {250, 333, 1000, 83},   // 83.25
        {250, 334, 1000, 84},   // 83.5
        {800, 768, 1024, 600},
        {5, 1, 2, 3},           // 2.5
        {-5, 1, 2, -3},         // -2.5
        {5, -1, 2, -3},
        {-5, -1, 2, 3},
        {7, 1, -2, -4},         // -3.5
        {2000000000, 2000000000, 2000000000, 2000000000},  // 64-bit intermediate
        {1, 1, 0, -1},          // division by zero
        {2000000000, 4, 1, -1},  // overflow
    };
    for (const Row& r : rows)
        EXPECT_EQ(MulDiv(r.a, r.b, r.c), r.expected) << r.a << " * " << r.b << " / " << r.c;
}

TEST(PathHelpers, SplitOnSlashOnly)
{
    EXPECT_EQ(ExtractFileExt("/pics/cat.JPG"), ".JPG");
    EXPECT_EQ(ExtractFileExt("/pics.d/cat"), "");
    EXPECT_EQ(ExtractFileExt("/pics/cat."), ".");
    EXPECT_EQ(ExtractFileExt("cat.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExt("/pics/.hidden"), ".hidden");
    EXPECT_EQ(ChangeFileExt("/pics/cat.JPG", ".png"), "/pics/cat.png");
    EXPECT_EQ(ChangeFileExt("/pics.d/cat", ".png"), "/pics.d/cat.png");
    EXPECT_EQ(ChangeFileExt("/pics/cat.JPG", ""), "/pics/cat");
    EXPECT_EQ(ExtractFilePath("/pics/cat.JPG"), "/pics/");
    EXPECT_EQ(ExtractFilePath("cat.JPG"), "");
    EXPECT_EQ(ExtractFileName("/pics/cat.JPG"), "cat.JPG");
    EXPECT_EQ(ExtractFileName("cat.JPG"), "cat.JPG");
    EXPECT_EQ(ExtractFileName("a\\b:c.bmp"), "a\\b:c.bmp");  // backslash and colon are ordinary characters
    EXPECT_EQ(IncludeTrailingBackslash("/out"), "/out/");
    EXPECT_EQ(IncludeTrailingBackslash("/out/"), "/out/");
    EXPECT_EQ(IncludeTrailingBackslash(""), "/");
}

TEST(PathHelpers, FileExistsIsFalseForFoldersAndMissingFiles)
{
    scalopex::test::TempDir dir;
    scalopex::test::WriteBytes(dir.file("a.bmp"), {1});
    EXPECT_TRUE(FileExists(dir.file("a.bmp")));
    EXPECT_FALSE(FileExists(dir.file("b.bmp")));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(""));
}

TEST(ByteCursor, ReadsBothByteOrdersAndStopsAtTheEnd)
{
    const std::uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    ByteCursor in(data);
    EXPECT_EQ(in.u16le(), 0x0201);
    EXPECT_EQ(in.u32be(), 0x03040506u);
    EXPECT_EQ(in.remaining(), 1u);
    try {
        in.u16le();
        FAIL() << "short read accepted";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_EQ(in.position(), 6u);  // a failed read does not move
}

TEST(ByteCursor, SubCursorIsLimitedToItsChunk)
{
    const std::uint8_t data[] = {1, 2, 3, 4, 5, 6};
    ByteCursor in(data);
    ByteCursor chunk = in.sub(2);
    EXPECT_EQ(chunk.u16le(), 0x0201);
    EXPECT_THROW(chunk.u8(), EReadError);
    EXPECT_EQ(in.u8(), 3);
    EXPECT_THROW(in.sub(4), EReadError);
    EXPECT_THROW(in.seek(7), EReadError);
    EXPECT_EQ(in.bytesUpTo(10).size(), 3u);
}

TEST(ByteCursor, UsesTheHandlerGivenForShortReads)
{
    const std::uint8_t data[] = {1};
    ByteCursor in(data, [] { throw EInvalidGraphic("Cannot load image. Invalid or unexpected TGA image format."); });
    EXPECT_THROW(in.u32le(), EInvalidGraphic);
}

TEST(Limits, RefuseOversizedRastersWithAMessageNamingTheSize)
{
    EXPECT_EQ(CheckRasterSize(3, 2, 24), 2u * 12u);
    EXPECT_EQ(CheckRasterSize(0, 5, 24), 0u);
    EXPECT_EQ(RowBytes(1, 24), 4u);
    EXPECT_EQ(RowBytes(17, 1), 4u);
    EXPECT_EQ(RowBytes(33, 1), 8u);
    try {
        CheckRasterSize(70000, 70000, 24);
        FAIL() << "oversized raster accepted";
    } catch (const EOutOfResources& e) {
        EXPECT_NE(std::string(e.what()).find("70000 x 70000"), std::string::npos) << e.what();
    }
    EXPECT_THROW(CheckRasterSize(30000, 30000, 32), EOutOfResources);  // 3.6 GB of pixels
    EXPECT_THROW(CheckRasterSize(-1, 5, 24), EOutOfResources);
    EXPECT_THROW(CheckRasterSize(std::int64_t{1} << 21, 1, 24), EOutOfResources);
    EXPECT_THROW(checkedMul(SIZE_MAX / 2, 3), EOutOfResources);
    EXPECT_THROW(checkedAdd(SIZE_MAX, 1), EOutOfResources);
}

TEST(Exceptions, CarryTheExactTexts)
{
    EXPECT_STREQ(EOSError(5, "Access denied").what(), "System Error.  Code: 5.\r\nAccess denied");
    EXPECT_STREQ(EFOpenError("/x/a.bmp", "No such file or directory").what(),
                 "Cannot open file \"/x/a.bmp\". No such file or directory");
    EXPECT_STREQ(EFCreateError("/x/a.bmp", "Permission denied").what(),
                 "Cannot create file \"/x/a.bmp\". Permission denied");
    EXPECT_STREQ(EOutOfResources().what(), "Out of system resources");
    EXPECT_STREQ(EAbstractError().what(), "Abstract Error");
    EXPECT_EQ(Format("Unknown picture file extension (.%s)", "%s"), "Unknown picture file extension (.%s)");
    EXPECT_EQ(Format("Cannot assign a %s to a %s", "%s", "TBitmap"), "Cannot assign a %s to a TBitmap");
}
