// scalopex-batch end to end: files written, names, sizes, pixels, messages,
// exit codes; and its option parsing.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "base/paths.h"
#include "cli/batch_files.h"
#include "cli/batch_options.h"
#include "core/bitmap.h"
#include "core/stream.h"
#include "files/settings.h"
#include "formats/targa/targa_graphic.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using scalopex::test::MakeBitmap24;
using scalopex::test::PixelRGB;
using scalopex::test::TempDir;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Standard error goes to a file, so it is not a terminal.
RunResult RunBatch(const TempDir& dir, const std::vector<std::string>& args, const std::string& exe = SCALOPEX_BATCH_EXE)
{
    std::string command = Quote(exe);
    for (const std::string& a : args) {
        command += ' ';
        command += Quote(a);
    }
    command += " 2>";
    command += Quote(dir.file("stderr.txt"));
    RunResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(dir.file("stderr.txt"));
    std::stringstream text;
    text << err.rdbuf();
    result.err = text.str();
    std::filesystem::remove(dir.file("stderr.txt"));
    return result;
}

// A settings file as the window writes it: UTF-16 LE with byte-order mark.
std::string WriteSettings(const TempDir& dir, const std::string& body, const std::string& name = "settings.ini")
{
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    for (char c : "[Settings]\r\n" + body) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    scalopex::test::WriteBytes(dir.file(name), bytes);
    return dir.file(name);
}

class Batch : public ::testing::Test {
protected:
    std::string Image(const std::string& name, int w, int h)
    {
        auto bitmap = MakeBitmap24(w, h, [](int x, int y) { return x < 10 && y < 10 ? 0xFF0000u : 0x00FF00u; });
        bitmap->SaveToFile(dir.file(name));
        return dir.file(name);
    }
    TempDir dir;
};

}  // namespace

TEST_F(Batch, WritesTheSlotsOfEveryFileAndPrintsTheirPaths)
{
    const std::string settings = WriteSettings(dir, "Big_Size=0x64\r\nMed=_half\r\nMed_Size=50\r\nFormat3=1\r\nDefault=0\r\n");
    const std::string a = Image("a.bmp", 400, 200);
    const std::string b = Image("b.bmp", 100, 300);
    const std::vector<std::uint8_t> settingsBefore = scalopex::test::ReadBytes(settings);
    const RunResult r = RunBatch(dir, {"--settings", settings, "--slots", "1,2,3", a, b});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("a_lge.bmp") + "\n" + dir.file("a_half.bmp") + "\n" + dir.file("a_sml.bmp") + "\n" +
                         dir.file("b_lge.bmp") + "\n" + dir.file("b_half.bmp") + "\n" + dir.file("b_sml.bmp") + "\n");
    core::TBitmap out;
    out.LoadFromFile(dir.file("a_lge.bmp"));
    EXPECT_EQ(out.Width(), 100);
    EXPECT_EQ(out.Height(), 50);
    EXPECT_EQ(PixelRGB(out, 0, 0), 0xFF0000u);
    EXPECT_EQ(PixelRGB(out, 99, 49), 0x00FF00u);
    out.LoadFromFile(dir.file("b_sml.bmp"));
    EXPECT_EQ(out.Width(), 40);
    EXPECT_EQ(out.Height(), 120);
    EXPECT_EQ(scalopex::test::ReadBytes(settings), settingsBefore);  // never written
}

TEST_F(Batch, OptionsOverrideTheSettingsAndDestinationsGetASlash)
{
    const std::string settings = WriteSettings(dir, "Big_Size=100\r\n");
    std::filesystem::create_directory(dir.file("out"));
    const std::string a = Image("a.bmp", 30, 60);
    const RunResult r = RunBatch(dir, {"--settings=" + settings, "--max1", "0", "--suffix1=", "--dest1", dir.file("out"), a});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("out/a.bmp") + "\n");
    core::TBitmap out;
    out.LoadFromFile(dir.file("out/a.bmp"));
    EXPECT_EQ(out.Width(), 30);
    // Run again: the earlier output is kept and the new one is numbered.
    EXPECT_EQ(RunBatch(dir, {"--settings=" + settings, "--max1", "0", "--suffix1=", "--dest1", dir.file("out"), a}).out,
              dir.file("out/a[1].bmp") + "\n");
}

TEST_F(Batch, FailuresAreReportedAndTheRunGoesOn)
{
    const std::string settings = WriteSettings(dir, "");
    const std::string bad = dir.file("bad.bmp");
    scalopex::test::WriteBytes(bad, {'B', 'M', 0});
    const std::string good = Image("good.bmp", 20, 20);
    const RunResult r = RunBatch(dir, {"--settings", settings, dir.file("missing.bmp"), bad, good});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, dir.file("good_lge.bmp") + "\n");
    EXPECT_NE(r.err.find("scalopex-batch: " + dir.file("missing.bmp") + ": no such file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("scalopex-batch: " + bad + ": Stream read error"), std::string::npos) << r.err;
}

TEST_F(Batch, FallsBackToTheDefaultFormatWithAWarning)
{
    const std::string settings = WriteSettings(dir, "");
    const std::string a = Image("a.bmp", 20, 20);
    std::filesystem::rename(a, dir.file("a.tif.rle"));
    const RunResult r = RunBatch(dir, {"--settings", settings, "--default-format", ".bmp", "--warnings", dir.file("a.tif.rle")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("a.tif_lge.bmp") + "\n");
    EXPECT_NE(r.err.find("scalopex-batch: " + dir.file("a.tif.rle") + ": " + dir.file("a.tif_lge.rle") +
                         ": This graphic format can not be saved! Will be saved in default format"),
              std::string::npos)
        << r.err;
}

TEST_F(Batch, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--bogus", "a.bmp"}, {"--max1", "big", "a.bmp"}, {"--format2", "TIFF", "a.bmp"}, {"--slots", "4", "a.bmp"},
             {"--default-format", ".tif", "a.bmp"}, {"--default-format", "..png", "a.bmp"}, {"--format1", "jpgs", "a.bmp"},
             {"--settings", dir.file("none.ini"), "a.bmp"}, {"--no-settings=yes", "a.bmp"}, {"--max1"}}) {
        const RunResult r = RunBatch(dir, args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(r.err.rfind("scalopex-batch: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(RunBatch(dir, {"--version"}).out, "scalopex-batch 0.1\n");
}


TEST(BatchOptions, FormatNamesInAnyCaseAndTheirAliases)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"jpg", "JPEG"}, {"jpeg", "JPEG"}, {"JPEG", "JPEG"}, {"Jpg", "JPEG"}, {"tga", "TGA"}, {"targa", "TGA"},
        {"TARGA", "TGA"}, {"bmp", "BMP"}, {"png", "PNG"}, {"gif", "GIF"}, {"nc", "NC"}, {"NC", "NC"},
        {"tif", ""}, {"jp", ""}, {"", ""}, {".png", ""}, {"targa2", ""}};
    for (const auto& [text, name] : cases) {
        int expected = -1;
        for (std::size_t i = 0; i < files::kFormatNames.size(); ++i)
            if (name == files::kFormatNames[i])
                expected = static_cast<int>(i);
        EXPECT_EQ(cli::FormatIndexOf(text), expected) << text;
        if (expected >= 0) {
            EXPECT_EQ(cli::ParseBatchOptions({"--format3", text, "a.bmp"}).formatIndex[2], expected) << text;
        }
    }
}

TEST(BatchOptions, DefaultFormatWithOrWithoutItsDotAndTheAliases)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"png", ".png"},  {".png", ".png"}, {"PNG", ".png"},   {".PNG", ".png"}, {"jpg", ".jpg"}, {"jpeg", ".jpg"},
        {".JPEG", ".jpg"}, {"targa", ".tga"}, {".tga", ".tga"}, {"bmp", ".bmp"},  {"GIF", ".gif"}, {"", ""},
        {".", ""},        {"..png", ""},    {"tif", ""},       {"jpe", ""},      {"png.", ""}};
    for (const auto& [text, ext] : cases) {
        int expected = -1;
        for (std::size_t i = 0; i < files::kDefaultFormats.size(); ++i)
            if (ext == files::kDefaultFormats[i])
                expected = static_cast<int>(i);
        EXPECT_EQ(cli::DefaultFormatIndexOf(text), expected) << text;
    }
}

TEST(BatchOptions, ShortHelpSettingsNoneAndTheLastSettingsOptionWins)
{
    EXPECT_TRUE(cli::ParseBatchOptions({"-h"}).help);
    EXPECT_EQ(cli::ParseBatchOptions({"--", "-h"}).files, std::vector<std::string>{"-h"});
    struct Case {
        std::vector<std::string> args;
        bool none;
        std::optional<std::string> file;
    };
    for (const Case& c : std::vector<Case>{{{"--settings", "NONE"}, true, std::nullopt},
                                           {{"--no-settings"}, true, std::nullopt},
                                           {{"--settings", "x.ini", "--settings=NONE"}, true, std::nullopt},
                                           {{"--no-settings", "--settings", "x.ini"}, false, "x.ini"},
                                           {{"--settings", "./NONE"}, false, "./NONE"},
                                           {{"--settings", "none"}, false, "none"}}) {
        std::vector<std::string> args = c.args;
        args.push_back("a.bmp");
        const cli::TBatchOptions options = cli::ParseBatchOptions(args);
        EXPECT_EQ(options.noSettings, c.none) << c.args.back();
        EXPECT_EQ(options.settingsFile, c.file) << c.args.back();
    }
}

TEST(BatchOptions, PerSlotOptionsOfSlotsThatDoNotRunAreWarnings)
{
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"--max2", "100"}, {"--max2: slot 2 does not run (see --slots)"}},
        {{"--slots", "2", "--dest3", "d", "--suffix1", "_x", "--format1=png"},
         {"--suffix1: slot 1 does not run (see --slots)", "--format1: slot 1 does not run (see --slots)",
          "--dest3: slot 3 does not run (see --slots)"}},
        {{"--slots", "1,2", "--max2", "100", "--suffix1", "_x"}, {}},
        {{"--max1", "100", "--default-format", "png"}, {}}};
    for (const auto& [args, warnings] : cases) {
        std::vector<std::string> withFile = args;
        withFile.push_back("a.bmp");
        EXPECT_EQ(cli::IdleSlotWarnings(cli::ParseBatchOptions(withFile)), warnings) << args[0];
    }
}

TEST(BatchOptions, MessagesNameTheirFileOnce)
{
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"/d/a.jpg", "JPEG error #53", "/d/a.jpg: JPEG error #53"},
        {"/d/a.bmp", "/d/a.bmp holds no image.", "/d/a.bmp holds no image."},
        {"/d/a.bmp", "/d/a.bmp: no such file", "/d/a.bmp: no such file"},
        {"/d/a.bmp", "/d/a.bmp\rNo free file name", "/d/a.bmp\rNo free file name"},
        {"/d/a", "/d/a_lge\rThis is an invalid file name", "/d/a: /d/a_lge\rThis is an invalid file name"},
        {"/d/a.bmp", "Cannot write file \"/o/a_lge.bmp\". Disk full", "/d/a.bmp: Cannot write file \"/o/a_lge.bmp\". Disk full"},
        {"", "--max1: limited to 1500", "--max1: limited to 1500"}};
    for (const auto& [path, message, expected] : cases)
        EXPECT_EQ(cli::NameTheFile(path, message), expected);
}

TEST_F(Batch, EveryOutputNotWrittenEndsInStatusOneAndEachMessageNamesItsFile)
{
    const std::string noDefault = WriteSettings(dir, "Default=7\r\n");  // no default format
    const std::string good = Image("good.bmp", 20, 20);
    const std::string bad = dir.file("bad.bmp");
    scalopex::test::WriteBytes(bad, {'B', 'M', 0});
    const std::string badJpeg = dir.file("jpegs/bad.jpg");
    std::filesystem::create_directory(dir.file("jpegs"));
    scalopex::test::WriteBytes(badJpeg, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x02, 0xFF, 0xD9});
    const std::string empty = dir.file("empty.bmp");
    scalopex::test::WriteBytes(empty, {});
    const std::string dib = Image("photo.dib", 20, 20);
    std::filesystem::create_directory(dir.file("nothing"));
    std::filesystem::create_directory(dir.file("nothing/sub.bmp"));
    scalopex::test::WriteBytes(dir.file("nothing/notes.txt"), {'x'});
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string message;  // a line of standard error, or empty for none at all
    };
    const std::vector<Case> cases = {
        {"all good", {"--settings", "NONE", good}, 0, ""},
        {"failing file", {"--settings", "NONE", bad, good}, 1, "scalopex-batch: " + bad + ": Stream read error\n"},
        {"failing file of a folder", {"--settings", "NONE", dir.file("jpegs")}, 1, "scalopex-batch: " + badJpeg + ": "},
        {"empty file", {"--settings", "NONE", empty, good}, 1, "scalopex-batch: " + empty + " holds no image.\n"},
        {"cannot be saved", {"--settings", noDefault, dib}, 1, "scalopex-batch: " + dib + ": Graphic type cannot be saved!\n"},
        {"missing file", {"--settings", "NONE", dir.file("gone.bmp"), good}, 1,
         "scalopex-batch: " + dir.file("gone.bmp") + ": no such file\n"},
        {"unwritable destination", {"--settings", "NONE", "--dest1", dir.file("no/such/folder"), good}, 1,
         "scalopex-batch: " + good + ": Cannot "},
        {"empty folder", {"--settings", "NONE", dir.file("nothing"), good}, 0,
         "scalopex-batch: " + dir.file("nothing") + ": no image files in the folder\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunBatch(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.err;
        if (c.message.empty())
            EXPECT_EQ(r.err, "") << c.what;
        else
            EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << "\n" << r.err;
        for (const std::string& arg : c.args)
            EXPECT_EQ(r.err.find(arg + ": " + arg), std::string::npos) << c.what << ": named twice\n" << r.err;
    }
    EXPECT_FALSE(base::FileExists(dir.file("empty_lge.bmp")));
}

TEST_F(Batch, OptionsOfSlotsThatDoNotRunAreWarnedAboutAndTheRunGoesOn)
{
    const std::string a = Image("a.bmp", 20, 20);
    const RunResult r = RunBatch(dir, {"--settings", "NONE", "--max2", "100", "--suffix3=_s", a});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, dir.file("a_lge.bmp") + "\n");
    EXPECT_EQ(r.err, "scalopex-batch: --max2: slot 2 does not run (see --slots)\n"
                     "scalopex-batch: --suffix3: slot 3 does not run (see --slots)\n");
}

TEST_F(Batch, FormatAliasesAndNoChangeKeepingThePreviousSlotsFormat)
{
    const std::string a = Image("a.tif.rle", 20, 20);
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"--slots", "1,2,3", "--format1", "jpg", "--format2", "targa", "--format3", "Png"}, "a.tif_lge.jpg a.tif_med.tga a.tif_sml.png"},
        {{"--slots", "1,3", "--format1", "gif", "--format2", "bmp", "--format3", "nc"}, "a.tif_lge.gif a.tif_sml.gif"},
        {{"--format1", "NC", "--default-format", "targa"}, "a.tif_lge.tga"},
        {{"--format1", "nc", "--default-format", ".PNG"}, "a.tif_lge.png"},
        {{"--format1", "nc", "--default-format", "jpeg"}, "a.tif_lge.jpg"},
    };
    for (const Case& c : cases) {
        TempDir out;
        std::vector<std::string> args = {"--settings", "NONE", "--dest1", out.path(), "--dest2", out.path(), "--dest3", out.path()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(a);
        const RunResult r = RunBatch(dir, args);
        EXPECT_EQ(r.status, 0) << c.out << "\n" << r.err;
        std::string expected;
        std::istringstream names(c.out);
        for (std::string name; names >> name;)
            expected += out.file(name) + "\n";
        EXPECT_EQ(r.out, expected);
    }
}

TEST_F(Batch, AFolderStandsForItsImageFilesInNameOrder)
{
    std::filesystem::create_directory(dir.file("in"));
    std::filesystem::create_directory(dir.file("out"));
    for (const char* name : {"b.bmp", "a.bmp", "B.BMP", ".hidden.bmp"})
        Image(std::string("in/") + name, 8, 8);
    Image("in/c.txt", 8, 8);  // an image, but not of a listed name
    Image("in/noext", 8, 8);
    std::filesystem::create_directory(dir.file("in/sub.bmp"));
    Image("in/sub.bmp/x.bmp", 8, 8);
    const std::string single = Image("single.bmp", 8, 8);
    for (const std::string& folder : {dir.file("in"), dir.file("in/")}) {
        const RunResult r = RunBatch(dir, {"--settings", "NONE", "--suffix1=", "--dest1", dir.file("out"), single, folder});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, dir.file("out/single.bmp") + "\n" + dir.file("out/B.BMP") + "\n" + dir.file("out/a.bmp") + "\n" +
                             dir.file("out/b.bmp") + "\n");
        std::filesystem::remove_all(dir.file("out"));
        std::filesystem::create_directory(dir.file("out"));
    }
}

TEST_F(Batch, SettingsNoneIgnoresTheWindowsSettingsFileAndHelpNamesTheOneRead)
{
    // A copy of the command with a settings file of its window beside it.
    std::filesystem::create_directory(dir.file("bin"));
    const std::string exe = dir.file("bin/scalopex-batch");
    std::filesystem::copy_file(SCALOPEX_BATCH_EXE, exe);
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
    const std::string windows = WriteSettings(dir, "Big=_win\r\nBig_Size=10\r\n", "bin/scalopex.ini");
    const std::string other = WriteSettings(dir, "Big=_other\r\n");
    const std::string a = Image("a.bmp", 40, 20);
    struct Case {
        std::vector<std::string> options;
        std::string out;
        int width;
    };
    for (const Case& c : std::vector<Case>{{{}, "a_win.bmp", 10},
                                           {{"--settings", "NONE"}, "a_lge.bmp", 800},
                                           {{"--no-settings"}, "a_lge.bmp", 800},
                                           {{"--settings", other}, "a_other.bmp", 800}}) {
        std::vector<std::string> args = c.options;
        args.push_back(a);
        const RunResult r = RunBatch(dir, args, exe);
        EXPECT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.out, dir.file(c.out) + "\n");
        core::TBitmap out;
        out.LoadFromFile(dir.file(c.out));
        EXPECT_EQ(out.Width(), c.width) << c.out;
        std::filesystem::remove(dir.file(c.out));
    }
    const std::vector<std::pair<std::vector<std::string>, std::string>> helps = {
        {{"--help"}, "Settings read: " + windows + " (the window's)\n"},
        {{"-h"}, "Settings read: " + windows + " (the window's)\n"},
        {{"-h", "--settings", "NONE"}, "Settings read: none"},
        {{"--settings", other, "--help"}, "Settings read: " + other + "\n"},
    };
    for (const auto& [args, line] : helps) {
        const RunResult r = RunBatch(dir, args, exe);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(line), std::string::npos) << args[0] << "\n" << r.out;
        for (const char* name : files::kFormatNames)
            EXPECT_NE(r.out.find(name), std::string::npos) << name;
        EXPECT_NE(r.out.find("on slot 2 or 3 the format of the slot before it"), std::string::npos);
    }
    std::filesystem::remove(windows);
    EXPECT_NE(RunBatch(dir, {"--help"}, exe).out.find("Settings read: none: the window's " + windows + " is not made yet\n"),
              std::string::npos);
}

TEST_F(Batch, TwoRunsOfTheSameBatchWriteTheSameBytes)
{
    // Odd sizes, so rows carry padding, and every writer once.
    const std::string a = Image("a.bmp", 203, 117);
    const std::string b = Image("b.bmp", 31, 77);
    for (const char* run : {"one", "two"}) {
        const std::string out = dir.file(run);
        std::filesystem::create_directory(out);
        for (const char* format : {"BMP", "JPEG", "PNG", "GIF", "TGA"}) {
            const RunResult r = RunBatch(dir, {"--settings", "NONE", "--slots", "1,2,3", "--format1", format, "--max2", "61",
                                               "--max3", "0", "--format3", format, "--dest1", out, "--dest2", out, "--dest3",
                                               out, a, b});
            ASSERT_EQ(r.status, 0) << r.err;
        }
    }
    std::size_t compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("one"))) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(scalopex::test::ReadBytes(entry.path().string()), scalopex::test::ReadBytes(dir.file("two/" + name))) << name;
        ++compared;
    }
    EXPECT_EQ(compared, 5u * 2u * 3u);
}

TEST_F(Batch, EveryNumberOfJobsGivesWhatOneJobGives)
{
    // Colliding output names (a.bmp and a.tga both give a_med.png), a file
    // that fails, one that holds no image, one whose slot cannot be saved
    // (.dib keeps its extension on slot 1, and there is no default format),
    // and good files, in a folder and named one by one.
    const std::string in = dir.file("in");
    std::filesystem::create_directory(in);
    for (const char* name : {"a.bmp", "c.bmp", "e.bmp", "g.bmp"}) {
        auto bitmap = MakeBitmap24(37, 23, [&](int x, int y) { return static_cast<std::uint32_t>(x * 0x10203 + y * name[0]); });
        bitmap->SaveToFile(in + "/" + name);
    }
    {
        core::TBitmap copy;
        copy.LoadFromFile(in + "/a.bmp");
        formats::TTargaGraphic targa;
        targa.Assign(&copy);
        core::TFileStream out(in + "/a.tga", core::TFileStream::Mode::Create);
        targa.SaveToStream(out, true);
    }
    scalopex::test::WriteBytes(in + "/b.jpg", std::vector<std::uint8_t>(100, 'x'));
    scalopex::test::WriteBytes(in + "/d.bmp", {});
    scalopex::test::WriteBytes(in + "/f.dib", scalopex::test::ReadBytes(in + "/c.bmp"));
    const std::string settings = WriteSettings(dir, "Default=7\r\nFormat2=3\r\nMed_Size=20\r\n");

    struct Outcome {
        RunResult run;
        std::map<std::string, std::vector<std::uint8_t>> files;
    };
    auto runWith = [&](const std::string& jobs) {
        const std::string out = dir.file("out" + jobs);
        std::filesystem::create_directory(out);
        Outcome o;
        o.run = RunBatch(dir, {"--settings", settings, "--slots", "1,2", "--jobs", jobs, "--dest1", out, "--dest2", out,
                               in, in + "/a.bmp", in + "/missing.bmp"});
        // Paths differ only by the output folder.
        for (std::string* text : {&o.run.out, &o.run.err})
            for (std::size_t at; (at = text->find(out)) != std::string::npos;)
                text->replace(at, out.size(), "OUT");
        for (const auto& entry : std::filesystem::directory_iterator(out))
            o.files[entry.path().filename().string()] = scalopex::test::ReadBytes(entry.path().string());
        return o;
    };
    const Outcome one = runWith("1");
    EXPECT_EQ(one.run.status, 1);
    EXPECT_NE(one.files.count("a_med[1].png"), 0u) << "the names collide";
    EXPECT_NE(one.run.err.find("holds no image"), std::string::npos) << one.run.err;
    EXPECT_NE(one.run.err.find("Graphic type cannot be saved!"), std::string::npos) << one.run.err;
    for (const char* jobs : {"2", "4"}) {
        const Outcome many = runWith(jobs);
        EXPECT_EQ(many.run.status, one.run.status) << jobs;
        EXPECT_EQ(many.run.out, one.run.out) << jobs;
        EXPECT_EQ(many.run.err, one.run.err) << jobs;
        EXPECT_EQ(many.files, one.files) << jobs;
    }
}
