// TMetafile: loading by content, sizes and frames, failures, sharing, and
// the EMF it writes for a raster (header fields, playback, transparency).

#include "formats/metafile/metafile_graphic.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "base/limits.h"
#include "core/opening.h"
#include "platform/gdi/emf_records.h"
#include "platform/gdi/screen.h"
#include "tests/formats/metafile/metafile_builders.h"
#include "tests/support/test_files.h"
#include "tests/support/tools.h"

namespace scalopex::test {
namespace {

using formats::TMetafile;
using formats::TMetafileCanvas;
namespace emr = gdi::emr;
namespace wmr = gdi::wmr;

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

void Load(TMetafile& m, std::vector<std::uint8_t> bytes)
{
    core::TMemoryStream s(std::move(bytes));
    m.LoadFromStream(s);
}

std::string LoadError(std::vector<std::uint8_t> bytes)
{
    TMetafile m;
    try {
        Load(m, std::move(bytes));
    } catch (const base::Exception& e) {
        EXPECT_FALSE(m.Image().picture) << "a failed load leaves no picture";
        return e.what();
    }
    return "";
}

// A placeable WMF that paints its whole box red.
std::vector<std::uint8_t> RedWmf(int right, int bottom, int unitsPerInch, int checksumDelta = 0)
{
    WmfFile w;
    w.Rec(wmr::kCreateBrushIndirect, {0, 0x00FF, 0, 0}).Rec(wmr::kSelectObject, {0});
    w.Rec(wmr::kRectangle, {bottom, right, 0, 0});
    return w.Placeable(0, 0, right, bottom, unitsPerInch, checksumDelta);
}

std::vector<std::uint8_t> SaveEmf(const core::TBitmap& bitmap)
{
    TMetafile m;
    m.SetWidth(bitmap.Width());
    m.SetHeight(bitmap.Height());
    {
        TMetafileCanvas canvas(m);
        canvas.Draw(0, 0, &bitmap);
    }
    core::TMemoryStream out;
    m.SaveToStream(out);
    out.SetPosition(0);
    return out.ReadRemaining(1u << 30);
}

TEST(Metafile, placeableFramesFollowUnitsPerInch)
{
    TMetafile a;
    Load(a, RedWmf(1440, 720, 1440));
    EXPECT_FALSE(a.EnhancedFormat());
    EXPECT_EQ(a.Image().FrameWidth, 2540);
    EXPECT_EQ(a.Image().FrameHeight, 1270);
    EXPECT_EQ(a.Width(), 96);
    EXPECT_EQ(a.Height(), 48);

    // Units per inch 0: sized as 96, pixels from the converted picture's header.
    TMetafile b;
    Load(b, RedWmf(1440, 720, 0));
    EXPECT_EQ(b.Image().FrameWidth, 38100);
    EXPECT_EQ(b.Image().FrameHeight, 19050);
    EXPECT_EQ(b.Image().UnitsPerInch, 0);
    EXPECT_EQ(b.Width(), 1440);  // 38100 x 1920 / 50800
    EXPECT_EQ(b.Height(), 719);  // 19050 x 1080 / 28600 = 719.4
}

TEST(Metafile, badPlaceableHeadersAreNotValid)
{
    EXPECT_EQ(LoadError(RedWmf(1440, 720, 1440, 1)), "Metafile is not valid");
    WmfFile w;
    w.Rec(wmr::kRectangle, {10, 10, 0, 0});
    EXPECT_EQ(LoadError(w.Records()), "Metafile is not valid");  // no placeable header
    EXPECT_EQ(LoadError({}), "Stream read error");
    // A placeable box of no size divides by nothing: refused.
    EXPECT_EQ(LoadError(RedWmf(0, 720, 1440)), "Metafile is not valid");
}

TEST(Metafile, contentDecidesNotTheExtension)
{
    TempDir dir;
    EmfFile e(10, 10);
    WriteBytes(dir.file("a.wmf"), e.Bytes());
    WriteBytes(dir.file("b.emf"), RedWmf(1440, 720, 1440));
    TMetafile a, b;
    a.LoadFromFile(dir.file("a.wmf"));
    b.LoadFromFile(dir.file("b.emf"));
    EXPECT_TRUE(a.EnhancedFormat());
    EXPECT_FALSE(b.EnhancedFormat());
    EXPECT_TRUE(formats::IsMetafile(e.Bytes()));
    EXPECT_TRUE(formats::IsMetafile(RedWmf(10, 10, 96)));
    EXPECT_FALSE(formats::IsMetafile(RedWmf(10, 10, 96, 1)));
}

TEST(Metafile, emfSizeComesFromItsReferenceDevice)
{
    // Frame 10000 x 5000 on a 1920 x 1080 pixel, 508 x 286 mm device.
    auto bytes = EmfFile(10, 10).Bytes();
    const std::uint32_t fields[][2] = {{32, 10000}, {36, 5000}, {72, 1920}, {76, 1080}, {80, 508}, {84, 286}};
    ByteBuilder b;
    b.bytes(bytes);
    for (const auto& f : fields)
        b.patch32le(f[0], f[1]);
    TMetafile m;
    Load(m, b.take());
    EXPECT_TRUE(m.EnhancedFormat());
    EXPECT_EQ(m.Width(), 378);
    EXPECT_EQ(m.Height(), 189);
    // SetWidth is the inverse conversion.
    m.SetWidth(192);
    EXPECT_EQ(m.Image().FrameWidth, 5080);
}

TEST(Metafile, emfFailuresCarryTheirMessages)
{
    const auto good = EmfFile(10, 10).Rec(emr::kRectangle, {0, 0, 5, 5}).Bytes();
    auto truncated = good;
    truncated.resize(good.size() - 8);
    EXPECT_EQ(LoadError(truncated), "Stream read error");
    auto badRecord = good;
    badRecord[108 + 4] = 3;  // a record size that is no multiple of 4
    EXPECT_EQ(LoadError(badRecord), "Metafile is not valid");
    EXPECT_EQ(LoadError(EmfFile(10, 10, 0).Bytes()), "Metafile is not valid");  // 0 mm device
    EXPECT_EQ(LoadError(EmfFile(0, 10).Bytes()), "Metafile is not valid");      // frame of 0
    ByteBuilder huge;
    huge.bytes(good).patch32le(32, 2000000000).patch32le(36, 2000000000);
    TMetafile m;
    EXPECT_THROW(Load(m, huge.take()), base::ELimitExceeded);
}

TEST(Metafile, savedBytesAreTheLoadedOnes)
{
    const auto bytes = EmfFile(10, 10).Rec(emr::kRectangle, {0, 0, 5, 5}).Bytes();
    TMetafile m;
    Load(m, bytes);
    core::TMemoryStream out;
    m.SaveToStream(out);
    out.SetPosition(0);
    EXPECT_EQ(out.ReadRemaining(1 << 20), bytes);
    TMetafile empty;
    core::TMemoryStream none;
    empty.SaveToStream(none);
    EXPECT_EQ(none.Size(), 0u);
}

TEST(Metafile, assignSharesUntilOneChanges)
{
    TMetafile a;
    Load(a, RedWmf(1440, 720, 1440));
    TMetafile b;
    b.Assign(&a);
    EXPECT_TRUE(b.SharesImageWith(a));
    EXPECT_FALSE(b.EnhancedFormat());
    b.SetWidth(48);
    EXPECT_FALSE(b.SharesImageWith(a));
    EXPECT_EQ(a.Width(), 96);
    EXPECT_EQ(b.Width(), 48);
    b.Assign(nullptr);
    EXPECT_TRUE(b.EnhancedFormat());
    EXPECT_FALSE(b.Image().picture);
    b.SetTransparent(false);
    EXPECT_TRUE(b.Transparent());
}

TEST(Metafile, openedMetafileFillsATransparentRaster)
{
    TMetafile m;
    Load(m, RedWmf(1440, 720, 1440));
    const auto bitmap = core::GraphicToBitmap(&m);
    ASSERT_EQ(bitmap->Width(), 96);
    ASSERT_EQ(bitmap->Height(), 48);
    EXPECT_TRUE(bitmap->Transparent());
    EXPECT_EQ(bitmap->TransparentMode(), core::tmAuto);
    EXPECT_EQ(PixelRGB(*bitmap, 50, 20), 0xFF0000u);
    EXPECT_EQ(PixelRGB(*bitmap, 0, 0), 0x000000u);  // the pen on the box's edge
}

TEST(MetafileWriter, headerOfAnEightHundredBySixHundredRaster)
{
    const auto bitmap = MakeBitmap24(800, 600, [](int x, int y) { return static_cast<std::uint32_t>(x * 7 + y); });
    const auto emf = SaveEmf(*bitmap);
    EXPECT_EQ(U32At(emf, 0), 1u);
    EXPECT_EQ(U32At(emf, 4), 108u);
    EXPECT_EQ(U32At(emf, 8), 0u);  // bounds in device pixels
    EXPECT_EQ(U32At(emf, 16), 799u);
    EXPECT_EQ(U32At(emf, 20), 599u);
    EXPECT_EQ(U32At(emf, 24), 0u);  // frame in 0.01 mm
    EXPECT_EQ(U32At(emf, 32), 21167u);
    EXPECT_EQ(U32At(emf, 36), 15889u);
    EXPECT_EQ(U32At(emf, 40), 0x464D4520u);
    EXPECT_EQ(U32At(emf, 48), emf.size());
    EXPECT_EQ(U32At(emf, 52), 3u);           // header, the copy, end
    EXPECT_EQ(U32At(emf, 56) & 0xFFFF, 1u);  // handles
    EXPECT_EQ(U32At(emf, 60), 0u);           // no description
    EXPECT_EQ(U32At(emf, 64), 0u);
    EXPECT_EQ(U32At(emf, 72), 1920u);
    EXPECT_EQ(U32At(emf, 76), 1080u);
    EXPECT_EQ(U32At(emf, 80), 508u);
    EXPECT_EQ(U32At(emf, 84), 286u);
    EXPECT_EQ(U32At(emf, 100), 508000u);
    EXPECT_EQ(U32At(emf, 104), 286000u);
    // One stretch-DIB record of a 24-bit bottom-up DIB with SRCCOPY.
    EXPECT_EQ(U32At(emf, 108), emr::kStretchDIBits);
    EXPECT_EQ(U32At(emf, 108 + 68), emr::kSrcCopy);
    EXPECT_EQ(U32At(emf, 108 + 80 + 8), 600u);  // positive height: bottom-up
    EXPECT_EQ(U32At(emf, 108 + 80 + 12) >> 16, 24u);
    EXPECT_EQ(U32At(emf, 108 + 60), 2400u * 600u);  // rows of 2400 bytes
}

TEST(MetafileWriter, writtenRastersPlayBackToTheSamePixels)
{
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{4097, 3}}) {
        const auto bitmap = MakeBitmap24(
            w, h, [](int x, int y) { return static_cast<std::uint32_t>((x * 2654435761u) ^ (y * 40503u)) & 0xFFFFFF; });
        TMetafile m;
        Load(m, SaveEmf(*bitmap));
        ASSERT_EQ(m.Width(), w);
        ASSERT_EQ(m.Height(), h);
        const auto back = core::GraphicToBitmap(&m);
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                wrong += PixelRGB(*back, x, y) != PixelRGB(*bitmap, x, y);
        EXPECT_EQ(wrong, 0) << w << " x " << h;
    }
}

TEST(MetafileWriter, anIndependentReaderTakesTheWrittenFiles)
{
    if (!RunTool("emf2svg-conv --version"))
        GTEST_SKIP() << "emf2svg-conv is not installed";
    // The tool refuses every bitmap wider than 4096 pixels, so the widest
    // case here is 4096.
    TempDir dir;
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{4096, 3}}) {
        const auto bitmap = MakeBitmap24(w, h, [](int x, int y) { return static_cast<std::uint32_t>(x * 31 + y * 7); });
        WriteBytes(dir.file("out.emf"), SaveEmf(*bitmap));
        int status = -1;
        const auto log = RunCommand(
            "emf2svg-conv -v -i '" + dir.file("out.emf") + "' -o '" + dir.file("out.svg") + "' 2>&1", &status);
        const std::string text(log.begin(), log.end());
        EXPECT_EQ(status, 0) << w << " x " << h;
        EXPECT_EQ(text.find("corrupted"), std::string::npos) << w << " x " << h;
        EXPECT_NE(text.find("U_EMR_STRETCHDIBITS"), std::string::npos) << w << " x " << h;
    }
}

TEST(MetafileWriter, transparentRasterLeavesItsTransparentPixelsOut)
{
    // Bottom-left pixel (the automatic transparent colour) is green.
    auto bitmap = MakeBitmap24(3, 2, [](int x, int y) { return (x + y) % 2 == 1 ? 0x00FF00u : 0x0000FFu; });
    bitmap->SetTransparent(true);
    const auto emf = SaveEmf(*bitmap);
    EXPECT_EQ(U32At(emf, 108), emr::kTransparentBlt);
    TMetafile m;
    Load(m, emf);
    auto target = MakeBitmap24(3, 2, [](int, int) { return 0xFF0000u; });
    target->Canvas().Draw(0, 0, &m);
    // The canvas takes the played raster: unpainted pixels stay white there.
    EXPECT_EQ(PixelRGB(*target, 0, 0), 0x0000FFu);
    EXPECT_EQ(PixelRGB(*target, 1, 0), 0xFFFFFFu);
}

TEST(MetafileWriter, emptyMetafileRecordsTheScreenSize)
{
    TMetafile m;
    {
        TMetafileCanvas canvas(m);
    }
    EXPECT_EQ(m.Image().FrameWidth, 50800);
    EXPECT_EQ(m.Image().FrameHeight, 28600);
    EXPECT_TRUE(m.Image().picture);
}

}  // namespace
}  // namespace scalopex::test
