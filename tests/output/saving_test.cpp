// Saving: name checks, default-format fallback, unique names, writer choice.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>

#include "base/exceptions.h"
#include "base/paths.h"
#include "core/opening.h"
#include "formats/registry.h"
#include "output/saving.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using scalopex::test::FakeDesktop;
using scalopex::test::MakeBitmap24;
using scalopex::test::TempDir;

namespace {

class Saving : public ::testing::Test {
protected:
    void SetUp() override
    {
        output::SavingOptions() = output::TSavingOptions{};
        output::SavingOptions().defaultExtension = ".bmp";
    }
    void TearDown() override { output::SavingOptions() = output::TSavingOptions{}; }

    // Saves a small bitmap; returns the final name, or the failure's text prefixed by "!".
    std::string Save(const std::string& path)
    {
        std::string finalName = "unset";
        try {
            output::SaveImageFile(path, *m_bitmap, finalName, m_desktop);
        } catch (const base::Exception& e) {
            m_failure = e.what();
        }
        return finalName;
    }

    TempDir m_dir;
    FakeDesktop m_desktop;
    std::unique_ptr<core::TBitmap> m_bitmap = MakeBitmap24(4, 3, [](int x, int) { return 0x102030u * static_cast<unsigned>(x); });
    std::string m_failure;
};

}  // namespace

TEST(FileNames, InvalidCharactersAndEmptyNamesAreRefused)
{
    EXPECT_TRUE(output::IsValidFileName("cat_lge.jpg"));
    EXPECT_TRUE(output::IsValidFileName("кошка 猫.png"));
    for (const char* bad : {"", "a<b", "a>b", "a|b", "a\"b", "a\\b", "a/b", "a:b", "a*b", "a?b"})
        EXPECT_FALSE(output::IsValidFileName(bad)) << bad;
}

TEST_F(Saving, UniqueNamesCountUpFromTheSamePath)
{
    const std::string a = m_dir.file("a.bmp");
    EXPECT_EQ(output::MakeUniqueName(a), a);
    scalopex::test::WriteBytes(a, {1});
    EXPECT_EQ(output::MakeUniqueName(a), m_dir.file("a[1].bmp"));
    scalopex::test::WriteBytes(m_dir.file("a[1].bmp"), {1});
    EXPECT_EQ(Save(a), m_dir.file("a[2].bmp"));
    EXPECT_TRUE(base::FileExists(m_dir.file("a[2].bmp")));
    EXPECT_EQ(scalopex::test::ReadBytes(a), std::vector<std::uint8_t>{1});  // never replaced
    // A folder of the name does not count as a file, but is not replaced either.
    std::filesystem::create_directory(m_dir.file("d.bmp"));
    EXPECT_EQ(output::MakeUniqueName(m_dir.file("d.bmp")), m_dir.file("d.bmp"));
    EXPECT_EQ(Save(m_dir.file("d.bmp")), m_dir.file("d[1].bmp"));
}

TEST_F(Saving, InvalidNamesFailBeforeAnythingIsWritten)
{
    for (const std::string& path : {m_dir.path(), m_dir.file("a*b.bmp"), m_dir.file("a\\b.bmp")}) {
        m_failure.clear();
        EXPECT_EQ(Save(path), "");
        EXPECT_EQ(m_failure, path + "\rThis is an invalid file name");
    }
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));
}

TEST_F(Saving, UnsaveableExtensionsFallBackToTheDefaultFormat)
{
    output::SavingOptions().warnings = true;
    EXPECT_EQ(Save(m_dir.file("a.tif")), m_dir.file("a.bmp"));
    ASSERT_EQ(m_desktop.messages.size(), 1u);
    EXPECT_EQ(m_desktop.messages[0].text,
              m_dir.file("a.tif") + "\rThis graphic format can not be saved!\rWill be saved in default format");
    EXPECT_EQ(m_desktop.messages[0].title, "Scalopex");
    EXPECT_EQ(m_desktop.messages[0].icon, platform::MessageIcon::None);

    output::SavingOptions().warnings = false;
    EXPECT_EQ(Save(m_dir.file("b.wmf")), m_dir.file("b.bmp"));
    EXPECT_EQ(Save(m_dir.file("noext")), m_dir.file("noext.bmp"));
    EXPECT_EQ(m_desktop.messages.size(), 1u);
}

TEST_F(Saving, ALoneDotAndTheJpeg2000AliasesAreWrittenAsJpeg2000UnderTheirOwnNames)
{
    // A lone dot occurs in ".jpc.j2k", so it passes the saveable test too.
    for (const char* name : {"a.", "a.j2k", "a.jpc"}) {
        m_desktop.messages.clear();
        EXPECT_EQ(Save(m_dir.file(name)), m_dir.file(name)) << name;
        EXPECT_TRUE(m_desktop.messages.empty()) << name;
        const std::vector<std::uint8_t> bytes = test::ReadBytes(m_dir.file(name));
        const std::vector<std::uint8_t> signature = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
        ASSERT_GE(bytes.size(), signature.size()) << name;
        EXPECT_TRUE(std::equal(signature.begin(), signature.end(), bytes.begin())) << name;
    }
}

TEST_F(Saving, AJpeSourceIsWrittenAsJpegUnderItsOwnName)
{
    formats::RegisterFileFormats();
    EXPECT_EQ(Save(m_dir.file("shot.jpe")), m_dir.file("shot.jpe"));
    EXPECT_TRUE(m_desktop.messages.empty());
    const std::vector<std::uint8_t> bytes = scalopex::test::ReadBytes(m_dir.file("shot.jpe"));
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    EXPECT_EQ(core::LoadGraphicAsBitmap(m_dir.file("shot.jpe"))->Width(), 4);
}

TEST_F(Saving, AnEmptyImageIsNeverWritten)
{
    core::TBitmap empty;
    for (const char* name : {"e.bmp", "e.png", "e.gif", "e.tga", "e.jpg"}) {
        std::string finalName = "unset";
        output::SaveImageFile(m_dir.file(name), empty, finalName, m_desktop);
        EXPECT_EQ(finalName, "") << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));
    EXPECT_TRUE(m_desktop.messages.empty());
}

TEST_F(Saving, ExtensionsCompareWithoutCaseAndKeepTheirSpelling)
{
    EXPECT_EQ(Save(m_dir.file("a.BMP")), m_dir.file("a.BMP"));
    core::TBitmap back;
    back.LoadFromFile(m_dir.file("a.BMP"));
    EXPECT_EQ(back.Width(), 4);
}

TEST_F(Saving, AFileThatAppearsAfterTheNameWasChosenIsNotReplaced)
{
    const std::string a = m_dir.file("a.bmp");
    output::SavingOptions().beforeCreate = [&](const std::string& chosen) {
        EXPECT_EQ(chosen, a);
        scalopex::test::WriteBytes(chosen, {42});  // another program wins the race
    };
    EXPECT_EQ(Save(a), m_dir.file("a[1].bmp"));
    EXPECT_EQ(scalopex::test::ReadBytes(a), std::vector<std::uint8_t>{42});
    EXPECT_GT(scalopex::test::ReadBytes(m_dir.file("a[1].bmp")).size(), 54u);
}

TEST_F(Saving, AWriteThatFailsRemovesItsPartialFile)
{
    const std::string a = m_dir.file("big.bmp");
    auto big = MakeBitmap24(200, 200, [](int, int) { return 0x123456u; });
    EXPECT_EXIT(
        {
            // Files may not grow past 4 KiB in this child: the write fails part-way.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 4096;
            setrlimit(RLIMIT_FSIZE, &limit);
            std::string finalName;
            try {
                output::SaveImageFile(a, *big, finalName, m_desktop);
            } catch (const base::EWriteError&) {
                std::exit(base::FileExists(a) || finalName != a ? 2 : 0);
            }
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Saving, EveryWriterRowWritesAFileThatOpensToTheSamePixels)
{
    formats::RegisterFileFormats();
    for (const char* name : {"a.bmp", "a.PNG", "a.tga", "a.gif"}) {
        const std::string path = m_dir.file(name);
        EXPECT_EQ(Save(path), path);
        const std::unique_ptr<core::TBitmap> back = core::LoadGraphicAsBitmap(path);
        ASSERT_EQ(back->Width(), 4) << name;
        ASSERT_EQ(back->Height(), 3) << name;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(test::PixelRGB(*back, x, y), test::PixelRGB(*m_bitmap, x, y)) << name;
    }
    EXPECT_TRUE(m_desktop.messages.empty());
}
