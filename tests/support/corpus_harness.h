#pragma once
// One walker for the public test corpora. Each corpus folder is a row of a
// table: how its files and their references are found, what each file must
// do, how it is decoded and how close it must come to its reference. The
// walker opens every file of the row and holds it to its entry.
//
// A format's test is a table over RowTest:
//
//   class PcxCorpus : public corpus::RowTest {};
//   TEST_P(PcxCorpus, filesBehaveAsTheirRowSays) { corpus::Walk(GetParam()); }
//   INSTANTIATE_TEST_SUITE_P(Corpus, PcxCorpus, ::testing::Values(corpus::ManifestRow("pcx", "pcx")),
//                            corpus::RowName);

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/tools.h"

namespace scalopex::test::corpus {

/// What opening a file may end in; an entry may allow several.
enum Outcome : unsigned {
    kDecode = 1,       // opens (and matches its reference when it has one)
    kFailCleanly = 2,  // refused with one of the engine's exceptions and a message
    kUnsupported = 4,  // refused in the same way, for a feature the reader does not provide
};
using Outcomes = unsigned;

/// The outcomes an expected result of MANIFEST.tsv names: "decode",
/// "fail-cleanly", "unsupported" and combinations such as "decode or
/// unsupported (fail cleanly)"; "render" counts as decode, words in
/// parentheses are notes. 0 when it names none (references, licences).
Outcomes ParseOutcomes(const std::string& expected);

/// How close a decode must come to its reference. Alpha is compared where
/// the decode has alpha, exactly; a reference without alpha is opaque.
struct Tolerance {
    int colour = 0;                      // largest difference of one colour sample
    double meanBelow = 0;                // when above 0, the mean colour difference stays below it
    bool transparentColourFree = false;  // colours under the reference's alpha 0 are not compared
};

/// Empty when got matches want within tolerance, else what differs.
std::string Difference(const TPixmap& got, const TPixmap& want, const Tolerance& tolerance);

/// Decodes a corpus file; a refusal is an exception.
using Decoder = std::function<TPixmap(const std::string& path)>;
/// Reads a reference picture; nothing when it cannot be read.
using ReferenceReader = std::function<std::optional<TPixmap>(const std::string& path)>;

/// Opens path through the format registry, drawn over white as the program shows it.
TPixmap DecodeAsBitmap(const std::string& path);
/// ImageMagick's decode of a reference file.
std::optional<TPixmap> ReadWithImageMagick(const std::string& path);
/// A binary PNM reference file (see ReadPnm).
std::optional<TPixmap> ReadPnmFile(const std::string& path);

/// One file of a row and what it must do.
struct Entry {
    std::string file = {};  // relative to the row's folder
    Outcomes expect = kDecode;
    std::string reference = {};  // relative to the row's folder; empty: none
    Tolerance tolerance = {};
    ReferenceReader readReference = {};  // empty: the row's reader
    bool referenceMayFail = false;       // an unreadable reference lets the file fail, and a decode goes uncompared
    std::string message = {};            // a refusal's message must be this,
    std::string messagePrefix = {};      // or begin with this
};

/// A corpus folder and how its files are checked.
struct Row {
    std::string name = {};    // the test's name
    std::string folder = {};  // under CorpusDir(), e.g. "bmpsuite"
    /// The entries, given the folder's path (with a trailing '/').
    std::function<std::vector<Entry>(const std::string& dir)> entries = {};
    Decoder decode = DecodeAsBitmap;
    ReferenceReader readReference = ReadWithImageMagick;
    std::string tool = {};                  // a command that must succeed, or the row is skipped
    bool everyDecodeHasReference = false;   // a decoded file without a reference is a failure
    bool emptyMayDecode = false;            // a file may open as an empty picture
    int minimumFiles = 1;                   // fewer entries fail the row
    int exactFiles = 0;                     // when above 0, exactly this many entries
    int minimumCompared = 0;                // files compared with a reference
};

/// What a walk found.
struct Summary {
    int files = 0;
    int decoded = 0;
    int refused = 0;
    int compared = 0;
};

/// Checks every entry of row through GoogleTest assertions and records the
/// counts as test properties. The row's folder must exist (see RowTest).
Summary Walk(const Row& row);

/// Names of the files of dir + sub ending in extension, sorted, each
/// prefixed with sub and '/' (no prefix for an empty sub).
std::vector<std::string> FilesIn(const std::string& dir, const std::string& sub, const std::string& extension);
/// An entry for each file of FilesIn, expecting outcomes, without reference.
std::vector<Entry> EntriesFor(const std::string& dir, const std::string& sub, const std::string& extension,
                              Outcomes outcomes);

/// One line of a MANIFEST.tsv.
struct ManifestLine {
    std::string file;
    std::string source;
    std::string exercises;
    std::string reference;
    std::string expected;
};

/// The lines of a MANIFEST.tsv after its header; blank lines and lines
/// beginning with '#' are skipped, and each line that does not hold five
/// tab-separated fields adds a message to errors.
std::vector<ManifestLine> ReadManifest(const std::string& path, std::vector<std::string>& errors);
/// The file a reference field names first ("hopper.png (exact)" gives
/// "hopper.png"); empty for "-".
std::string ReferenceFileOf(const std::string& field);
/// The entries of dir's MANIFEST.tsv: one for each line whose expected
/// result names an outcome, its reference taken relative to the file's own
/// folder. Manifest errors are test failures.
std::vector<Entry> ManifestEntries(const std::string& dir, const Tolerance& tolerance = {});
/// The row of a folder described by its MANIFEST.tsv.
Row ManifestRow(const std::string& name, const std::string& folder, const Tolerance& tolerance = {});

/// The fixture of a table of rows: skips, with one line, when the row's
/// corpus folder or tool is missing.
class RowTest : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override;
};

/// The row's name, for INSTANTIATE_TEST_SUITE_P.
std::string RowName(const ::testing::TestParamInfo<Row>& info);
void PrintTo(const Row& row, std::ostream* out);

}  // namespace scalopex::test::corpus
