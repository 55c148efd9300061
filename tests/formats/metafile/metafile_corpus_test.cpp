// The public metafile corpus: the corrupted files of the bad/ folders are
// refused with a message or drawn as far as they are valid, never a crash
// or a hang; the mapping-mode set draws alike in all eight modes; the
// golden drawings come close to their reference renderings.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "base/exceptions.h"
#include "base/limits.h"
#include "core/opening.h"
#include "formats/metafile/metafile_graphic.h"
#include "platform/gdi/player.h"
#include "tests/formats/metafile/metafile_builders.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"
#include "tests/support/tools.h"

namespace scalopex::test {
namespace {

std::string CorpusFolder()
{
    const char* env = std::getenv("SCALOPEX_CORPUS_DIR");
    return std::string(env != nullptr ? env : SCALOPEX_CORPUS_DIR) + "/metafile/";
}

// With SCALOPEX_METAFILE_DUMP set to a folder, renderings are also written
// there as PPM files named after their source, for a person to look at.
void Dump(const TPixmap& p, const std::string& source)
{
    const char* dir = std::getenv("SCALOPEX_METAFILE_DUMP");
    if (dir == nullptr)
        return;
    std::string name = std::filesystem::path(source).filename().string() + ".ppm";
    std::string header = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), p.rgb.begin(), p.rgb.end());
    WriteBytes(std::string(dir) + "/" + name, bytes);
}

TPixmap Render(const std::string& path)
{
    formats::TMetafile m;
    m.LoadFromFile(path);
    TPixmap p = ToPixmap(*core::GraphicToBitmap(&m));
    Dump(p, path);
    return p;
}

// Share of pixels whose every channel is within 16 of the reference at the
// same place, from (dx, dy) in the reference.
double ShareClose(const TPixmap& got, const TPixmap& want, int dx, int dy)
{
    long close = 0, total = 0;
    for (int y = 0; y < got.height && y + dy < want.height; ++y)
        for (int x = 0; x < got.width && x + dx < want.width; ++x) {
            const std::uint8_t* a = got.At(x, y);
            const std::uint8_t* b = want.At(x + dx, y + dy);
            ++total;
            close += std::abs(a[0] - b[0]) <= 16 && std::abs(a[1] - b[1]) <= 16 && std::abs(a[2] - b[2]) <= 16;
        }
    return total == 0 ? 0 : static_cast<double>(close) / static_cast<double>(total);
}

TEST(MetafileCorpus, corruptedFilesAreRefusedOrDrawn)
{
    const std::string dir = CorpusFolder() + "libemf2svg/bad/";
    if (!std::filesystem::exists(dir))
        GTEST_SKIP() << "no corpus at " << dir;
    // Lower limits keep the walk short: a picture beyond them is refused
    // with the limit message, which is a clean failure too.
    base::TLimits limits;
    limits.maxPixels = 1u << 24;
    const base::TScopedLimits scoped(limits);
    int files = 0;
    for (const auto& f : std::filesystem::directory_iterator(dir)) {
        if (f.path().extension() != ".emf")
            continue;
        ++files;
        try {
            Render(f.path().string());
        } catch (const base::Exception& e) {
            EXPECT_FALSE(std::string(e.what()).empty()) << f.path();
        }
    }
    EXPECT_GT(files, 10);
}

TEST(MetafileCorpus, everyMappingModeDrawsAlike)
{
    const std::string dir = CorpusFolder() + "libuemf/";
    if (!std::filesystem::exists(dir + "test_mm_text_ref.emf"))
        GTEST_SKIP() << "no corpus at " << dir;
    // The pictures are 14031 x 9921 pixels: a tenth of that is enough to compare.
    auto play = [&](const std::string& name) {
        auto picture = gdi::SetEnhMetaFileBits(ReadBytes(dir + name));
        EXPECT_NE(picture, nullptr) << name;
        Canvas24 canvas(1403, 992);
        if (picture) {
            auto target = canvas.Target();
            gdi::PlayEnhMetaFile(target, *picture, {0, 0, canvas.width, canvas.height});
        }
        return canvas;
    };
    const Canvas24 text = play("test_mm_text_ref.emf");
    long painted = 0;
    for (int y = 0; y < text.height; ++y)
        for (int x = 0; x < text.width; ++x)
            painted += text.At(x, y) != 0xFFFFFF;
    EXPECT_GT(painted, text.width * text.height / 100) << "the reference drawing paints something";
    for (const char* mode : {"anisotropic", "hienglish", "himetric", "isotropic", "loenglish", "lometric", "twips"}) {
        const Canvas24 other = play(std::string("test_mm_") + mode + "_ref.emf");
        long close = 0;
        for (int y = 0; y < text.height; ++y)
            for (int x = 0; x < text.width; ++x)
                close += other.At(x, y) == text.At(x, y);
        EXPECT_GE(static_cast<double>(close) / (text.width * text.height), 0.99) << mode;
    }
}

TEST(MetafileCorpus, goldenDrawingsMatchTheirReferences)
{
    const std::string dir = CorpusFolder() + "pillow/";
    if (!std::filesystem::exists(dir + "drawing.emf") || !RunTool("convert -version"))
        GTEST_SKIP() << "no corpus at " << dir << " or no ImageMagick";
    // The references were rendered at other resolutions: they are brought
    // to the size of this rendering first (by ImageMagick's resize).
    const TPixmap got = Render(dir + "drawing.emf");
    const std::string size = std::to_string(got.width) + "x" + std::to_string(got.height) + "!";
    const auto want = RunForPnm("convert '" + dir + "drawing_emf_ref.png' -background white -flatten -resize " + size +
                                " -depth 8 ppm:-");
    ASSERT_TRUE(want);
    EXPECT_GE(ShareClose(got, *want, 0, 0), 0.99) << "drawing.emf";

    // The old-format drawing's reference is smaller than the opened raster:
    // the picture is played at the reference's own size instead. Its frame
    // is the box of what it draws, larger than the window its records set.
    const auto wantWmf = RunForPnm("convert '" + dir + "drawing_wmf_ref.png' -depth 8 ppm:-");
    ASSERT_TRUE(wantWmf);
    formats::TMetafile wmf;
    wmf.LoadFromFile(dir + "drawing.wmf");
    ASSERT_NE(wmf.Image().picture, nullptr);
    Canvas24 canvas(wantWmf->width, wantWmf->height);
    auto target = canvas.Target();
    gdi::PlayEnhMetaFile(target, *wmf.Image().picture, {0, 0, canvas.width, canvas.height});
    Dump(canvas.ToPixmap(), dir + "drawing.wmf");
    // The reference puts the outline's right and bottom edges one pixel
    // further in (on an 82-pixel circle that is 4 % of the pixels).
    EXPECT_GE(ShareClose(canvas.ToPixmap(), *wantWmf, 0, 0), 0.95) << "drawing.wmf";
}

TEST(MetafileCorpus, realWorldFilesComeCloseToAnIndependentRendering)
{
    const std::string dir = CorpusFolder();
    if (!std::filesystem::exists(dir + "libemf2svg/emf") || !RunTool("emf2svg-conv --version") ||
        !RunTool("rsvg-convert --version") || !RunTool("convert -version"))
        GTEST_SKIP() << "no corpus or no emf2svg-conv, rsvg-convert and ImageMagick";
    const TempDir temp;
    int files = 0, close = 0;
    std::string far;
    auto note = [&](const std::filesystem::path& file, const std::string& why) {
        far.append(" ").append(file.filename().string()).append(" (").append(why).append(")");
    };
    for (const char* sub : {"libemf2svg/emf", "libemf2svg/emf-ea", "libuemf"})
        for (const auto& f : std::filesystem::directory_iterator(dir + sub)) {
            if (f.path().extension() != ".emf")
                continue;
            ++files;
            const std::string path = f.path().string();
            auto picture = gdi::SetEnhMetaFileBits(ReadBytes(path));
            if (!picture) {
                note(f.path(), "refused");
                continue;
            }
            // Both at the frame's aspect, at most 400 pixels wide or high.
            const auto& fr = picture->Header().rclFrame;
            const double fw = std::max(1, fr.right - fr.left), fh = std::max(1, fr.bottom - fr.top);
            const double scale = 400 / std::max(fw, fh);
            const int w = std::max(1, static_cast<int>(std::lround(fw * scale)));
            const int h = std::max(1, static_cast<int>(std::lround(fh * scale)));
            Canvas24 canvas(w, h);
            auto target = canvas.Target();
            gdi::PlayEnhMetaFile(target, *picture, {0, 0, w, h});
            const TPixmap ours = canvas.ToPixmap();
            Dump(ours, path);
            const std::string svg = temp.file("out.svg");
            const std::string size = std::to_string(w) + "x" + std::to_string(h) + "!";
            const auto theirs = RunTool("emf2svg-conv -w " + std::to_string(w) + " -h " + std::to_string(h) + " -i '" +
                                        path + "' -o '" + svg + "' >/dev/null 2>&1")
                                    ? RunForPnm("rsvg-convert '" + svg +
                                                "' 2>/dev/null | convert png:- -background white -flatten -resize " +
                                                size + " -depth 8 ppm:-")
                                    : std::nullopt;
            if (!theirs || theirs->width != w || theirs->height != h) {
                note(f.path(), "no reference");
                continue;
            }
            Dump(*theirs, path + ".reference");
            const double d = MeanDifference(ours, *theirs);
            if (d <= 20)
                ++close;
            else
                note(f.path(), std::to_string(static_cast<int>(d)));
        }
    std::printf("%d of %d files within 20 per channel; the others:%s\n", close, files, far.c_str());
    EXPECT_GT(files, 40);
}

}  // namespace
}  // namespace scalopex::test
