// scalopex-batch end to end: files written, names, sizes, pixels, exit codes.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/paths.h"
#include "cli/batch_options.h"
#include "core/bitmap.h"
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

RunResult RunBatch(const TempDir& dir, const std::vector<std::string>& args)
{
    std::string command = Quote(SCALOPEX_BATCH_EXE);
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
std::string WriteSettings(const TempDir& dir, const std::string& body)
{
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    for (char c : "[Settings]\r\n" + body) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    scalopex::test::WriteBytes(dir.file("settings.ini"), bytes);
    return dir.file("settings.ini");
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
    EXPECT_NE(r.err.find("scalopex-batch: Stream read error"), std::string::npos) << r.err;
}

TEST_F(Batch, FallsBackToTheDefaultFormatWithAWarning)
{
    const std::string settings = WriteSettings(dir, "");
    const std::string a = Image("a.bmp", 20, 20);
    std::filesystem::rename(a, dir.file("a.tif.rle"));
    const RunResult r = RunBatch(dir, {"--settings", settings, "--default-format", ".bmp", "--warnings", dir.file("a.tif.rle")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("a.tif_lge.bmp") + "\n");
    EXPECT_NE(r.err.find("scalopex-batch: " + dir.file("a.tif_lge.rle") +
                         ": This graphic format can not be saved! Will be saved in default format"),
              std::string::npos)
        << r.err;
}

TEST_F(Batch, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--bogus", "a.bmp"}, {"--max1", "big", "a.bmp"}, {"--format2", "TIFF", "a.bmp"}, {"--slots", "4", "a.bmp"},
             {"--default-format", ".tif", "a.bmp"}, {"--settings", dir.file("none.ini"), "a.bmp"}, {"--max1"}}) {
        const RunResult r = RunBatch(dir, args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(r.err.rfind("scalopex-batch: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(RunBatch(dir, {"--help"}).status, 0);
    EXPECT_EQ(RunBatch(dir, {"--version"}).out, "scalopex-batch 0.1\n");
}
