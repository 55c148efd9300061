// Shared helpers: MulDiv, path helpers, checked arithmetic and messages.

#include <gtest/gtest.h>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/paths.h"
#include "tests/support/test_files.h"

using namespace scalopex::base;

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
