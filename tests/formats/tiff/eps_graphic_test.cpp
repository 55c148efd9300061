// TEPSGraphic: the binary header, the move to the TIFF preview (whose
// offsets count from its own first byte), and the refusals.

#include <gtest/gtest.h>

#include <string>

#include "formats/tiff/eps_graphic.h"
#include "tests/formats/tiff/tiff_test_util.h"

namespace scalopex::formats {
namespace {

using namespace test::tiff;

const std::string kPostScript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 100 80\nshowpage\n";

// A binary EPS file: header, PostScript, then the preview.
Bytes Eps(const Bytes& preview, std::uint32_t previewOffset = 0)
{
    Bytes out;
    const auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const std::uint32_t psOffset = 30;
    const std::uint32_t psLength = static_cast<std::uint32_t>(kPostScript.size());
    put32(0xC6D3D0C5);
    put32(psOffset);
    put32(psLength);
    put32(0);
    put32(0);
    put32(previewOffset != 0 || preview.empty() ? previewOffset : psOffset + psLength);
    put32(static_cast<std::uint32_t>(preview.size()));
    out.push_back(0xFF);
    out.push_back(0xFF);
    out.insert(out.end(), kPostScript.begin(), kPostScript.end());
    out.insert(out.end(), preview.begin(), preview.end());
    return out;
}

Bytes Preview(int width, int height)
{
    Bytes grey(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<std::uint8_t>(i * 7);
    return Image(width, height, {8}, 1, grey).Build();
}

TEST(EpsGraphic, showsItsTiffPreview)
{
    const test::TPixmap p = Pixels<TEPSGraphic>(Eps(Preview(100, 80)));
    ASSERT_EQ(p.width, 100);
    ASSERT_EQ(p.height, 80);
    EXPECT_EQ(At(p, 1, 0), 0x070707u);
    EXPECT_EQ(At(p, 0, 1), 0x010101u * static_cast<std::uint8_t>(100 * 7));
}

TEST(EpsGraphic, plainPostScriptFailsNamingEps)
{
    const Bytes text(kPostScript.begin(), kPostScript.end());
    EXPECT_EQ(LoadError<TEPSGraphic>(text), "Cannot load image. Invalid or unexpected EPS image format.");
    Bytes wrongMagic = Eps(Preview(4, 4));
    wrongMagic[0] = 0xC4;
    EXPECT_EQ(LoadError<TEPSGraphic>(wrongMagic), "Cannot load image. Invalid or unexpected EPS image format.");
}

TEST(EpsGraphic, fileWithoutPreviewFailsAsATiff)
{
    EXPECT_EQ(LoadError<TEPSGraphic>(Eps({})), "Cannot load image. Invalid or unexpected TIF/TIFF image format.");
    // A preview offset beyond the file.
    EXPECT_EQ(LoadError<TEPSGraphic>(Eps(Preview(4, 4), 0x7FFFFFFF)),
              "Cannot load image. Invalid or unexpected TIF/TIFF image format.");
}

TEST(EpsGraphic, canLoadStreamWantsAPreviewBeyondTheHeader)
{
    TEPSGraphic graphic;
    core::TMemoryStream good(Eps(Preview(4, 4)));
    EXPECT_TRUE(graphic.CanLoadStream(good));
    EXPECT_EQ(good.Position(), 0u);
    core::TMemoryStream none(Eps({}));
    EXPECT_FALSE(graphic.CanLoadStream(none));
    core::TMemoryStream text(Bytes(kPostScript.begin(), kPostScript.end()));
    EXPECT_FALSE(graphic.CanLoadStream(text));
    EXPECT_TRUE(IsEPS(Eps(Preview(4, 4))));
}

}  // namespace
}  // namespace scalopex::formats
