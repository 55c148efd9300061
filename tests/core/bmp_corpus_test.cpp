// The BMP suite: good files decode to the pixels of their reference PNGs,
// questionable files decode or fail with a message, bad files never crash.
// The references are read with ImageMagick, an independent decoder.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "tests/support/corpus_harness.h"

using namespace scalopex;
using namespace scalopex::test::corpus;

namespace {

// The reference of each good file, from the suite's own page.
const std::map<std::string, std::string> kGoodReferences = {
    {"pal1.bmp", "pal1.png"},
    {"pal1bg.bmp", "pal1bg.png"},
    {"pal1wb.bmp", "pal1.png"},
    {"pal4.bmp", "pal4.png"},
    {"pal4gs.bmp", "pal4gs.png"},
    {"pal4rle.bmp", "pal4.png"},
    {"pal8-0.bmp", "pal8.png"},
    {"pal8.bmp", "pal8.png"},
    {"pal8gs.bmp", "pal8gs.png"},
    // The raster keeps the file's pixels; stretching by the density is left
    // to viewers, so the squashed ("editor") reference applies.
    {"pal8nonsquare.bmp", "pal8nonsquare-e.png"},
    {"pal8os2.bmp", "pal8.png"},
    {"pal8rle.bmp", "pal8.png"},
    {"pal8topdown.bmp", "pal8.png"},
    {"pal8v4.bmp", "pal8.png"},
    {"pal8v5.bmp", "pal8.png"},
    {"pal8w124.bmp", "pal8w124.png"},
    {"pal8w125.bmp", "pal8w125.png"},
    {"pal8w126.bmp", "pal8w126.png"},
    {"rgb16-565.bmp", "rgb16-565.png"},
    {"rgb16-565pal.bmp", "rgb16-565.png"},
    {"rgb16.bmp", "rgb16.png"},
    {"rgb16bfdef.bmp", "rgb16.png"},
    {"rgb24.bmp", "rgb24.png"},
    {"rgb24pal.bmp", "rgb24.png"},
    {"rgb32.bmp", "rgb24.png"},
    {"rgb32bf.bmp", "rgb24.png"},
    {"rgb32bfdef.bmp", "rgb24.png"},
};

// Questionable files that the reader supports, with the reference they must
// match: pixels that run-length data never sets are colour index 0.
const std::map<std::string, std::string> kQuestionableReferences = {
    {"pal4rletrns.bmp", "pal4rletrns-0.png"},
    {"pal8rletrns.bmp", "pal8rletrns-0.png"},
    {"pal8rlecut.bmp", "pal8rlecut-0.png"},
    {"pal4rlecut.bmp", "pal4rlecut-0.png"},
    {"pal8offs.bmp", "pal8.png"},  // a gap before the pixels, announced by bfOffBits
    {"pal8os2-hs.bmp", "pal8.png"},
    {"pal8os2-sz.bmp", "pal8.png"},
    {"pal8os2v2-40sz.bmp", "pal8.png"},
    {"pal8os2v2.bmp", "pal8.png"},
    {"pal8os2sp.bmp", "pal8.png"},  // a short core table, announced by bfOffBits
    {"pal8os2v2-sz.bmp", "pal8.png"},
    {"pal1p1.bmp", "pal1p1.png"},
    {"rgb16faketrns.bmp", "rgb16.png"},   // the unused bit is ignored
    {"rgb32fakealpha.bmp", "rgb24.png"},  // the fourth byte is not alpha
    {"rgb24lprof.bmp", "rgb24.png"},
    {"rgb24prof.bmp", "rgb24.png"},
    {"rgb32h52.bmp", "rgb24.png"},
    {"rgb32-xbgr.bmp", "rgb24.png"},
    {"rgb16-231.bmp", "rgb16-231.png"},
    {"rgb16-3103.bmp", "rgb16-3103.png"},
};

// Channels wider than 8 bits: the suite's references were not made from the
// stored values by any one rule (neither rounding nor truncation matches them
// all), so these are held to within one level.
const std::map<std::string, std::string> kWideChannelReferences = {
    {"rgb32-111110.bmp", "rgb24.png"},
    {"rgb32-7187.bmp", "rgb32-7187.png"},
};

// The raster as the BMP reader of the core leaves it.
test::TPixmap DecodeBmp(const std::string& path)
{
    core::TBitmap bitmap;
    bitmap.LoadFromFile(path);
    return test::ToPixmap(bitmap);
}

// Every file of sub, each with its reference from references (none when
// it is not listed).
std::vector<Entry> WithReferences(const std::string& dir, const std::string& sub, const std::map<std::string, std::string>& references)
{
    std::vector<Entry> entries = EntriesFor(dir, sub, ".bmp", kDecode);
    for (Entry& entry : entries)
        if (const auto found = references.find(entry.file.substr(sub.size() + 1)); found != references.end())
            entry.reference = "html/" + found->second;
    return entries;
}

// The listed files of q/ with their references.
std::vector<Entry> Supported(const std::map<std::string, std::string>& references, int tolerance)
{
    std::vector<Entry> entries;
    for (const auto& [name, reference] : references)
        entries.push_back({.file = "q/" + name, .reference = "html/" + reference, .tolerance = {.colour = tolerance}});
    return entries;
}

std::vector<Row> Rows()
{
    auto anyOutcome = [](const std::string& sub) {
        return [sub](const std::string& dir) { return EntriesFor(dir, sub, ".bmp", kDecode | kFailCleanly); };
    };
    return {
        {.name = "good",
         .folder = "bmpsuite",
         .entries = [](const std::string& dir) { return WithReferences(dir, "g", kGoodReferences); },
         .decode = DecodeBmp,
         .tool = "convert -version",
         .everyDecodeHasReference = true},
        {.name = "questionable", .folder = "bmpsuite", .entries = anyOutcome("q"), .decode = DecodeBmp},
        {.name = "questionableSupported",
         .folder = "bmpsuite",
         .entries =
             [](const std::string&) {
                 std::vector<Entry> entries = Supported(kQuestionableReferences, 0);
                 for (Entry& wide : Supported(kWideChannelReferences, 1))
                     entries.push_back(std::move(wide));
                 return entries;
             },
         .decode = DecodeBmp,
         .tool = "convert -version"},
        {.name = "extra", .folder = "bmpsuite", .entries = anyOutcome("x"), .decode = DecodeBmp},
        {.name = "bad", .folder = "bmpsuite", .entries = anyOutcome("b"), .decode = DecodeBmp},
    };
}

class BmpSuite : public RowTest {};

TEST_P(BmpSuite, filesBehaveAsTheirRowSays) { Walk(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Corpus, BmpSuite, ::testing::ValuesIn(Rows()), RowName);

}  // namespace
