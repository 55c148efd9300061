// The corpus harness itself: expected results and PNM images as the tools
// write them, pixel comparison, and walks over a small hand-written corpus
// folder that each hold one fault the walk must report.

#include "tests/support/corpus_harness.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "tests/support/test_files.h"

using namespace std::string_literals;
using namespace scalopex;
using namespace scalopex::test;
using namespace scalopex::test::corpus;

namespace {

TEST(CorpusHarness, expectedResultsNameTheirOutcomes)
{
    const struct {
        const char* text;
        Outcomes outcomes;
    } cases[] = {
        {"decode", kDecode},
        {"fail-cleanly (no crash, no hang)", kFailCleanly},
        {"decode or unsupported (fail cleanly)", kDecode | kUnsupported},
        {"unsupported (fail cleanly) or decode", kDecode | kUnsupported},
        {"decode if PostScript is rendered; otherwise fail-cleanly", kDecode | kFailCleanly},
        {"fail-cleanly or render what is valid (no crash, no hang)", kFailCleanly | kDecode},
        {"decode (EMF+ only: a GDI-only renderer shows little or nothing) or fail-cleanly", kDecode | kFailCleanly},
        {"decode; must not loop forever", kDecode},
        {"Decode", kDecode},
        {"reference", 0},
        {"licence", 0},
        {"documentation", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseOutcomes(c.text), c.outcomes) << c.text;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(CorpusHarness, pnmImagesReadAsRgbWithAlphaWhereTheyHaveIt)
{
    const struct {
        std::string file;
        bool read;
        std::vector<std::uint8_t> rgb;
        std::vector<std::uint8_t> alpha;
    } cases[] = {
        {"P6 2 1 255\n\x01\x02\x03\x04\x05\x06"s, true, {1, 2, 3, 4, 5, 6}, {}},
        {"P5\n1 1\n255\n\x07"s, true, {7, 7, 7}, {}},
        {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n\x01\x02\x03\x80"s, true, {1, 2, 3}, {0x80}},
        {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n\x09\x00"s, true, {9, 9, 9}, {0}},
        {"P6 1 1 65535\n\x01\x02\x03\x04\x05\x06"s, false, {}, {}},  // 16-bit samples
        {"P6 2 1 255\n\x01\x02\x03"s, false, {}, {}},                  // data cut short
        {"P6 0 1 255\n", false, {}, {}},
        {"P3 1 1 255\n1 2 3\n", false, {}, {}},  // plain text
        {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n\x01\x02\x03\x04\x05"s, false, {}, {}},
        {"P7\nWIDTH 1\nHEIGHT 1\n", false, {}, {}},  // no ENDHDR
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 2));
        const auto pixmap = ReadPnm(Bytes(c.file));
        ASSERT_EQ(pixmap.has_value(), c.read);
        if (c.read) {
            EXPECT_EQ(pixmap->rgb, c.rgb);
            EXPECT_EQ(pixmap->alpha, c.alpha);
        }
    }
}

TEST(CorpusHarness, differencesBeyondTheToleranceAreReported)
{
    const TPixmap grey{2, 1, {100, 100, 100, 100, 100, 100}, {}, {}};
    const struct {
        const char* name;
        TPixmap got;
        Tolerance tolerance;
        std::string difference;  // the beginning of the report; empty: a match
    } cases[] = {
        {"the same", grey, {}, ""},
        {"one level off, allowed", {2, 1, {100, 100, 100, 101, 100, 100}, {}, {}}, {.colour = 1}, ""},
        {"two levels off", {2, 1, {100, 100, 100, 102, 100, 100}, {}, {}}, {.colour = 1}, "1 pixels differ (largest colour difference 2"},
        {"another size", {1, 1, {100, 100, 100}, {}, {}}, {}, "size 1x1, reference 2x1"},
        {"alpha against an opaque reference", {2, 1, grey.rgb, {255, 254}, {}}, {}, "1 pixels differ (largest colour difference 0, 1 alpha"},
        {"another layout", {2, 1, grey.rgb, {}, "8-bit"}, {}, ""},  // the reference names none
        {"mean difference too large", {2, 1, {104, 104, 104, 104, 104, 104}, {}, {}}, {.colour = 255, .meanBelow = 4}, "mean difference"},
        {"mean difference small enough", {2, 1, {103, 104, 104, 104, 104, 104}, {}, {}}, {.colour = 255, .meanBelow = 4}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Difference(c.got, grey, c.tolerance).substr(0, c.difference.size()), c.difference);
        EXPECT_EQ(Difference(c.got, grey, c.tolerance).empty(), c.difference.empty());
    }
    // Colours under the reference's full transparency count only when asked.
    const TPixmap clear{1, 1, {0, 0, 0}, {0}, "32-bit"};
    const TPixmap white{1, 1, {255, 255, 255}, {0}, "32-bit"};
    EXPECT_EQ(Difference(white, clear, {.transparentColourFree = true}), "");
    EXPECT_NE(Difference(white, clear, {}), "");
    EXPECT_EQ(Difference({1, 1, {0, 0, 0}, {0}, "24-bit"}, clear, {}), "raster 24-bit, reference 32-bit");
}

// A corpus root in a temporary folder, chosen through the environment as a
// test run would choose it.
class CorpusFolder : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("SCALOPEX_CORPUS_DIR", m_root.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("SCALOPEX_CORPUS_DIR"); }

    // Writes folder/MANIFEST.tsv (after the header) and the test files.
    std::string Folder(const std::string& folder, const std::string& manifest)
    {
        const std::string dir = m_root.file(folder + "/");
        std::filesystem::create_directories(dir + "a");
        WriteBytes(dir + "MANIFEST.tsv", Bytes("file\tsource\texercises\treference\texpected\n" + manifest));
        WriteBytes(dir + "a/red.pnm", Bytes("P6 1 1 255\n\xFF\x00\x00"s));
        WriteBytes(dir + "a/blue.pnm", Bytes("P6 1 1 255\n\x00\x00\xFF"s));
        WriteBytes(dir + "cut.pnm", Bytes("P6 1 1 255\n"));
        WriteBytes(dir + "odd.pnm", Bytes("odd"));
        WriteBytes(dir + "empty.pnm", Bytes("empty"));
        return dir;
    }

    TempDir m_root;
};

// Reads the files as PNM; "odd" content raises a foreign exception,
// "empty" gives an empty picture.
TPixmap DecodePnm(const std::string& path)
{
    if (ReadBytes(path) == Bytes("odd"))
        throw std::runtime_error("odd");
    if (ReadBytes(path) == Bytes("empty"))
        return {};
    const std::optional<TPixmap> pixmap = ReadPnmFile(path);
    if (!pixmap)
        throw base::EInvalidGraphic("not a PNM image");
    return *pixmap;
}

// The messages of the failures run reports, which do not fail this test.
std::vector<std::string> FailuresOf(const std::function<void()>& run)
{
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD,
                                                             &results);
        run();
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i) {
        const std::string message = results.GetTestPartResult(i).message();
        messages.push_back(message.starts_with("Failed\n") ? message.substr(7) : message);
    }
    return messages;
}

TEST_F(CorpusFolder, theFolderComesFromTheEnvironmentAndAMissingOneIsNamed)
{
    Folder("present", "");
    EXPECT_EQ(CorpusDir(), m_root.path());
    EXPECT_EQ(MissingCorpusFolder("present"), "");
    std::string root = m_root.path();
    root.pop_back();
    EXPECT_EQ(MissingCorpusFolder("absent/deeper"), "corpus folder " + root + "/absent/deeper not found (set SCALOPEX_CORPUS_DIR)");
}

TEST_F(CorpusFolder, manifestLinesGiveEntriesWithReferencesBesideTheirFiles)
{
    const std::string dir = Folder("fmt",
                                   "a/red.pnm\tx/y@1:red.pnm\tone red pixel\tred.pnm (exact)\tdecode\n"
                                   "a/blue.pnm\tx/y@1:blue.pnm\treference decode\t-\treference\n"
                                   "\n"
                                   "# a note\n"
                                   "cut.pnm\tx/y@1:cut.pnm\ttruncated\t-\tfail-cleanly (no crash, no hang)\n"
                                   "odd.pnm\tx/y@1:odd.pnm\t16-bit\ta/blue.pnm / other.pnm\tdecode or unsupported (fail cleanly)\n"
                                   "LICENSE\tx/y@1:LICENSE\tlicence\t-\tlicence\n"
                                   "only\tfour\tfields\there\n");
    std::vector<std::string> errors;
    const std::vector<ManifestLine> lines = ReadManifest(dir + "MANIFEST.tsv", errors);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].source, "x/y@1:red.pnm");
    EXPECT_EQ(lines[0].exercises, "one red pixel");
    EXPECT_EQ(lines[0].reference, "red.pnm (exact)");
    EXPECT_EQ(lines[2].expected, "fail-cleanly (no crash, no hang)");
    EXPECT_EQ(errors, std::vector<std::string>{dir + "MANIFEST.tsv:9: 4 fields instead of 5"});

    std::vector<Entry> entries;
    const std::vector<std::string> failures = FailuresOf([&] { entries = ManifestEntries(dir); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], errors[0]);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].file, "a/red.pnm");
    EXPECT_EQ(entries[0].reference, "a/red.pnm");
    EXPECT_EQ(entries[0].expect, kDecode);
    EXPECT_EQ(entries[1].file, "cut.pnm");
    EXPECT_EQ(entries[1].reference, "");
    EXPECT_EQ(entries[1].expect, kFailCleanly);
    EXPECT_EQ(entries[2].reference, "a/blue.pnm");
    EXPECT_EQ(entries[2].expect, kDecode | kUnsupported);
}

// One failure, naming failure, when failure is not empty; none when it is.
void ExpectOneFailure(const Row& row, const std::string& failure)
{
    const std::vector<std::string> failures = FailuresOf([&] { Walk(row); });
    if (failure.empty()) {
        EXPECT_EQ(failures, std::vector<std::string>{});
        return;
    }
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find(failure), std::string::npos) << failures[0];
}

TEST_F(CorpusFolder, aWalkReportsEveryFileThatDoesOtherThanItsEntrySays)
{
    const std::string red = "a/red.pnm\ts\te\tred.pnm\tdecode\n";
    const std::string cut = "cut.pnm\ts\te\t-\tfail-cleanly\n";
    const struct {
        const char* name;
        std::string manifest;
        std::string failure;  // the one failure the walk reports; empty: none
    } cases[] = {
        {"as listed", red + cut + "a/blue.pnm\ts\te\t-\tdecode or unsupported\n", ""},
        {"another picture than the reference", "a/red.pnm\ts\te\tblue.pnm\tdecode\n", "1 pixels differ"},
        {"a refused file that must decode", "cut.pnm\ts\te\t-\tdecode\n", "failed to decode: not a PNM image"},
        {"a decoded file that must fail", "a/red.pnm\ts\te\t-\tfail-cleanly\n", "decoded, but must fail"},
        {"a foreign exception", "odd.pnm\ts\te\t-\tdecode or fail-cleanly\n", "not an engine exception: odd"},
        {"an empty picture", "empty.pnm\ts\te\t-\tdecode\n", "decoded to an empty picture"},
        {"a missing file", "gone.pnm\ts\te\t-\tdecode\n", "file not found"},
        {"an unreadable reference", "a/red.pnm\ts\te\tgone.pnm\tdecode\n", "cannot read the reference a/gone.pnm"},
        {"no file to check", "LICENSE\ts\tlicence\t-\tlicence\n", "0 files of walk checked, at least 1 expected"},
    };
    Row row = ManifestRow("walk", "walk");
    row.decode = DecodePnm;
    row.readReference = ReadPnmFile;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder("walk", c.manifest);
        ExpectOneFailure(row, c.failure);
    }

    // What entries hold beyond a manifest's fields.
    const struct {
        const char* name;
        Entry entry;
        std::string failure;
    } entries[] = {
        {"the message named", {.file = "cut.pnm", .expect = kFailCleanly, .message = "not a PNM image"}, ""},
        {"another message", {.file = "cut.pnm", .expect = kFailCleanly, .message = "bad"}, "instead of \"bad\""},
        {"another beginning", {.file = "cut.pnm", .expect = kFailCleanly, .messagePrefix = "PNM"}, "does not begin with \"PNM\""},
        {"a refusal where the reference fails too", {.file = "cut.pnm", .reference = "gone.pnm", .referenceMayFail = true}, ""},
        {"a decode without reference", {.file = "a/red.pnm"}, "has no reference in this test"},
    };
    for (const auto& c : entries) {
        SCOPED_TRACE(c.name);
        Row listed = row;
        listed.entries = [&c](const std::string&) { return std::vector<Entry>{c.entry}; };
        listed.everyDecodeHasReference = true;
        ExpectOneFailure(listed, c.failure);
    }

    // The counts of a walk, and the limits a row sets on them.
    Folder("walk", red + cut);
    Summary summary;
    EXPECT_EQ(FailuresOf([&] { summary = Walk(row); }), std::vector<std::string>{});
    EXPECT_EQ(summary.files, 2);
    EXPECT_EQ(summary.decoded, 1);
    EXPECT_EQ(summary.refused, 1);
    EXPECT_EQ(summary.compared, 1);
    row.exactFiles = 3;
    row.minimumCompared = 2;
    EXPECT_EQ(FailuresOf([&] { Walk(row); }),
              (std::vector<std::string>{"2 files of walk checked, 3 expected", "1 files of walk compared with a reference, at least 2 expected"}));
}

}  // namespace
