#include "tests/support/corpus_harness.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/exceptions.h"
#include "core/opening.h"
#include "formats/registry.h"
#include "tests/support/test_files.h"

namespace scalopex::test::corpus {

namespace fs = std::filesystem;

Outcomes ParseOutcomes(const std::string& expected)
{
    Outcomes outcomes = 0;
    int depth = 0;
    std::string word;
    auto take = [&] {
        if (word == "decode" || word == "render")
            outcomes |= kDecode;
        else if (word == "fail-cleanly")
            outcomes |= kFailCleanly;
        else if (word == "unsupported")
            outcomes |= kUnsupported;
        word.clear();
    };
    for (const char ch : expected + " ") {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '(' || c == ')')
            depth = std::max(0, depth + (c == '(' ? 1 : -1));
        if (depth == 0 && (std::isalpha(c) || c == '-'))
            word += static_cast<char>(std::tolower(c));
        else
            take();
    }
    return outcomes;
}

std::string Difference(const TPixmap& got, const TPixmap& want, const Tolerance& tolerance)
{
    auto size = [](const TPixmap& p) { return std::to_string(p.width) + "x" + std::to_string(p.height); };
    if (got.width != want.width || got.height != want.height)
        return "size " + size(got) + ", reference " + size(want);
    if (!got.form.empty() && !want.form.empty() && got.form != want.form)
        return "raster " + got.form + ", reference " + want.form;
    const std::size_t pixels = static_cast<std::size_t>(got.width) * static_cast<std::size_t>(got.height);
    if (got.rgb.size() != pixels * 3 || want.rgb.size() != pixels * 3 || (!got.alpha.empty() && got.alpha.size() != pixels) ||
        (!want.alpha.empty() && want.alpha.size() != pixels))
        return "pixel data does not fit the size " + size(got);
    const bool alpha = !got.alpha.empty();
    std::size_t differing = 0, alphaDifferences = 0;
    int worst = 0;
    std::string first;
    for (std::size_t p = 0; p < pixels; ++p) {
        const int ours = alpha ? got.alpha[p] : 255;
        const int theirs = want.alpha.empty() ? 255 : want.alpha[p];
        bool bad = alpha && ours != theirs;
        alphaDifferences += bad;
        const bool colourFree = alpha && tolerance.transparentColourFree && theirs == 0;
        for (std::size_t c = 3 * p; c < 3 * p + 3; ++c) {
            const int d = std::abs(got.rgb[c] - want.rgb[c]);
            if (!colourFree && d > tolerance.colour) {
                bad = true;
                worst = std::max(worst, d);
            }
        }
        if (bad && differing++ == 0) {
            const std::uint8_t* g = &got.rgb[3 * p];
            const std::uint8_t* w = &want.rgb[3 * p];
            char text[200];
            std::snprintf(text, sizeof text, "; first at (%zu, %zu): got %d,%d,%d alpha %d, want %d,%d,%d alpha %d",
                          p % static_cast<std::size_t>(got.width), p / static_cast<std::size_t>(got.width), g[0], g[1], g[2], ours,
                          w[0], w[1], w[2], theirs);
            first = text;
        }
    }
    std::string out;
    if (differing > 0)
        out = std::to_string(differing) + " pixels differ (largest colour difference " + std::to_string(worst) + ", " +
              std::to_string(alphaDifferences) + " alpha differences)" + first;
    if (const double mean = MeanDifference(got, want); tolerance.meanBelow > 0 && mean >= tolerance.meanBelow)
        out += (out.empty() ? "" : "; ") + std::string("mean difference ") + std::to_string(mean) + ", must stay below " +
               std::to_string(tolerance.meanBelow);
    return out;
}

TPixmap DecodeAsBitmap(const std::string& path)
{
    formats::RegisterFileFormats();
    const std::unique_ptr<core::TBitmap> bitmap = core::LoadGraphicAsBitmap(path);
    if (!bitmap)
        throw std::runtime_error("opening gave no picture");
    return ToPixmap(*bitmap);
}

std::optional<TPixmap> ReadWithImageMagick(const std::string& path) { return ImageMagickPixels(path); }

std::optional<TPixmap> ReadPnmFile(const std::string& path) { return ReadPnm(ReadBytes(path)); }

namespace {

// Holds one file to its entry; counts go to summary.
void Check(const Row& row, const std::string& dir, const Entry& entry, Summary& summary)
{
    const std::string path = dir + entry.file;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        ADD_FAILURE() << "file not found";
        return;
    }
    Outcomes expect = entry.expect;
    std::optional<TPixmap> want;
    if (!entry.reference.empty()) {
        want = (entry.readReference ? entry.readReference : row.readReference)(dir + entry.reference);
        if (!want && entry.referenceMayFail)
            expect |= kFailCleanly;
        else if (!want)
            ADD_FAILURE() << "cannot read the reference " << entry.reference;
    }
    TPixmap got;
    try {
        got = row.decode(path);
    } catch (const base::Exception& e) {
        ++summary.refused;
        const std::string message = e.what();
        if (message.empty())
            ADD_FAILURE() << "refused without a message";
        if ((expect & (kFailCleanly | kUnsupported)) == 0)
            ADD_FAILURE() << "failed to decode: " << message;
        if (!entry.message.empty() && message != entry.message)
            ADD_FAILURE() << "refused with \"" << message << "\" instead of \"" << entry.message << "\"";
        if (!entry.messagePrefix.empty() && message.rfind(entry.messagePrefix, 0) != 0)
            ADD_FAILURE() << "refused with \"" << message << "\", which does not begin with \"" << entry.messagePrefix << "\"";
        return;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not an engine exception: " << e.what();
        return;
    }
    ++summary.decoded;
    if ((expect & kDecode) == 0) {
        ADD_FAILURE() << "decoded, but must fail";
        return;
    }
    if ((got.width <= 0 || got.height <= 0) && !row.emptyMayDecode)
        ADD_FAILURE() << "decoded to an empty picture";
    if (want) {
        ++summary.compared;
        const std::string difference = Difference(got, *want, entry.tolerance);
        if (!difference.empty())
            ADD_FAILURE() << difference << " (reference " << entry.reference << ")";
    } else if (row.everyDecodeHasReference && entry.reference.empty()) {
        ADD_FAILURE() << "has no reference in this test";
    }
}

}  // namespace

Summary Walk(const Row& row)
{
    const std::string dir = CorpusDir() + row.folder + "/";
    Summary summary;
    std::string refused;
    for (const Entry& entry : row.entries(dir)) {
        SCOPED_TRACE(row.folder + "/" + entry.file);
        const int before = summary.refused;
        ++summary.files;
        Check(row, dir, entry, summary);
        if (summary.refused != before)
            refused += " " + entry.file;
    }
    if (summary.files < row.minimumFiles)
        ADD_FAILURE() << summary.files << " files of " << row.folder << " checked, at least " << row.minimumFiles << " expected";
    if (row.exactFiles > 0 && summary.files != row.exactFiles)
        ADD_FAILURE() << summary.files << " files of " << row.folder << " checked, " << row.exactFiles << " expected";
    if (summary.compared < row.minimumCompared)
        ADD_FAILURE() << summary.compared << " files of " << row.folder << " compared with a reference, at least "
                      << row.minimumCompared << " expected";
    ::testing::Test::RecordProperty("files", summary.files);
    ::testing::Test::RecordProperty("decoded", summary.decoded);
    ::testing::Test::RecordProperty("compared", summary.compared);
    ::testing::Test::RecordProperty("refused", refused);
    return summary;
}

std::vector<std::string> FilesIn(const std::string& dir, const std::string& sub, const std::string& extension)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(dir + sub, ec)) {
        const std::string name = item.path().filename().string();
        if (item.is_regular_file(ec) && name.size() > extension.size() && name.ends_with(extension))
            names.push_back(sub.empty() ? name : sub + "/" + name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Entry> EntriesFor(const std::string& dir, const std::string& sub, const std::string& extension, Outcomes outcomes)
{
    std::vector<Entry> entries;
    for (const std::string& file : FilesIn(dir, sub, extension))
        entries.push_back({.file = file, .expect = outcomes});
    return entries;
}

std::vector<ManifestLine> ReadManifest(const std::string& path, std::vector<std::string>& errors)
{
    std::vector<ManifestLine> lines;
    std::ifstream in(path);
    if (!in) {
        errors.push_back(path + ": cannot be read");
        return lines;
    }
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.empty() || text[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::istringstream split(text);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (fields.size() != 5) {
            errors.push_back(path + ":" + std::to_string(number) + ": " + std::to_string(fields.size()) +
                             " fields instead of 5");
            continue;
        }
        if (lines.empty() && number == 1 && fields[0] == "file" && fields[4] == "expected")
            continue;  // the header
        lines.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
    }
    return lines;
}

std::string ReferenceFileOf(const std::string& field)
{
    const std::string first = field.substr(0, field.find_first_of(" \t"));
    return first == "-" ? "" : first;
}

std::vector<Entry> ManifestEntries(const std::string& dir, const Tolerance& tolerance)
{
    std::vector<std::string> errors;
    std::vector<Entry> entries;
    for (const ManifestLine& line : ReadManifest(dir + "MANIFEST.tsv", errors)) {
        const Outcomes outcomes = ParseOutcomes(line.expected);
        if (outcomes == 0)
            continue;  // a reference, licence or documentation file
        const std::string reference = ReferenceFileOf(line.reference);
        entries.push_back({.file = line.file,
                           .expect = outcomes,
                           .reference = reference.empty()
                                            ? ""
                                            : (fs::path(line.file).parent_path() / reference).lexically_normal().generic_string(),
                           .tolerance = tolerance});
    }
    for (const std::string& error : errors)
        ADD_FAILURE() << error;
    return entries;
}

Row ManifestRow(const std::string& name, const std::string& folder, const Tolerance& tolerance)
{
    return {.name = name, .folder = folder, .entries = [tolerance](const std::string& dir) { return ManifestEntries(dir, tolerance); }};
}

void RowTest::SetUp()
{
    const Row& row = GetParam();
    SCALOPEX_REQUIRE_CORPUS(row.folder);
    if (!row.tool.empty() && !RunTool(row.tool))
        GTEST_SKIP() << "tool not found: " << row.tool;
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

void PrintTo(const Row& row, std::ostream* out) { *out << row.folder << " (" << row.name << ")"; }

}  // namespace scalopex::test::corpus
