// The format descriptors against the texts the design fixes: the registry
// rows and their order, the saveable formats text, the slots' format boxes
// and the default-format list.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/file_formats.h"
#include "files/settings.h"
#include "formats/registry.h"
#include "output/runs.h"
#include "tests/support/test_files.h"

using namespace scalopex;

namespace {

struct DesignRow {
    const char* extension;
    const char* description;
    const char* className;
};

// The registry of the design in registration order: the registry's creation,
// the GIF, PNG writer and JPEG modules, the extra readers, JPEG 2000.
const std::vector<DesignRow> kDesignRegistry = {
    {"wmf", "Metafiles", "TMetafile"},
    {"emf", "Enhanced Metafiles", "TMetafile"},
    {"ico", "Icons", "TIcon"},
    {"bmp", "Bitmaps", "TBitmap"},
    {"gif", "GIF Image", "TGIFImage"},
    {"png", "Portable Network Graphics", "TPNGObject"},
    {"jpeg", "JPEG Image File", "TJPEGImage"},
    {"jpg", "JPEG Image File", "TJPEGImage"},
    {"bmp", "Windows bitmaps", "TBitmap"},
    {"ico", "Windows icons", "TIcon"},
    {"wmf", "Windows metafiles", "TMetafile"},
    {"emf", "Windows enhanced meta files", "TMetafile"},
    {"jfif", "JFIF images", "TJPEGImage"},
    {"jpg", "JPG images", "TJPEGImage"},
    {"jpe", "JPE images", "TJPEGImage"},
    {"jpeg", "JPEG images", "TJPEGImage"},
    {"rle", "Run length encoded Windows bitmaps", "TBitmap"},
    {"dib", "Device independant Windows bitmaps", "TBitmap"},
    {"win", "Truevision images", "TTargaGraphic"},
    {"vst", "Truevision images", "TTargaGraphic"},
    {"vda", "Truevision images", "TTargaGraphic"},
    {"tga", "Truevision images", "TTargaGraphic"},
    {"icb", "Truevision images", "TTargaGraphic"},
    {"tiff", "Macintosh TIFF images", "TTIFFGraphic"},
    {"tif", "PC TIF images", "TTIFFGraphic"},
    {"fax", "GFI fax images", "TTIFFGraphic"},
    {"eps", "Encapsulated Postscript images", "TEPSGraphic"},
    {"pcx", "ZSoft Paintbrush images", "TPCXGraphic"},
    {"pcc", "ZSoft Paintbrush images", "TPCXGraphic"},
    {"scr", "Word 5.x screen capture images", "TPCXGraphic"},
    {"rpf", "Alias/Wavefront images", "TRLAGraphic"},
    {"rla", "Alias/Wavefront images", "TRLAGraphic"},
    {"sgi", "SGI true color images", "TSGIGraphic"},
    {"rgba", "SGI true color images with alpha", "TSGIGraphic"},
    {"rgb", "SGI true color images", "TSGIGraphic"},
    {"bw", "SGI black/white images", "TSGIGraphic"},
    {"psd", "Photoshop images", "TPSDGraphic"},
    {"pdd", "Photoshop images", "TPSDGraphic"},
    {"ppm", "Portable pixel map images", "TPPMGraphic"},
    {"pgm", "Portable gray map images", "TPPMGraphic"},
    {"pbm", "Portable bitmap images", "TPPMGraphic"},
    {"cel", "Autodesk images", "TAutodeskGraphic"},
    {"pic", "Autodesk images", "TAutodeskGraphic"},
    {"pcd", "Kodak Photo-CD images", "TPCDGraphic"},
    {"cut", "Dr. Halo images", "TCUTGraphic"},
    {"psp", "Paintshop Pro images", "TPSPGraphic"},
    {"png", "Portable network graphic images", "TPNGGraphic"},
    {"jp2", "JPEG 2000 Image", "TJpeg2000Bitmap"},
    {"j2k", "JPEG 2000 Image", "TJpeg2000Bitmap"},
    {"jpc", "JPEG 2000 Image", "TJpeg2000Bitmap"},
};

const std::string kSaveableFormats =
    "JPEG Image (*.jpg)|*.jpg;*.jpeg|Portable Networks Graphic (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|"
    "JPEG 2000 (*.jp2)|*.jp2;*.jpc;*.j2k|Targa Image (*.tga)|*.tga|GIF Image (*.gif)|*.gif|Enhanced Metafile (*.emf)|*.emf";

// The slot format boxes' entries and the extensions they choose.
const std::vector<std::pair<std::string, std::string>> kFormatBox = {
    {"NC", ""}, {"BMP", ".bmp"}, {"JPEG", ".jpg"}, {"PNG", ".png"}, {"GIF", ".gif"}, {"TGA", ".tga"}};

}  // namespace

TEST(FormatTables, TheRegistryIsTheDesignsTableOfTheBuiltClasses)
{
    formats::RegisterFileFormats();
    // Every class some descriptor names is built; the registry must hold
    // exactly the design's rows of those classes, in the design's order.
    std::set<std::string> built;
    for (const formats::TFormatDescriptor* format : formats::Formats())
        for (const formats::TRegistryRow& row : format->rows)
            built.insert(row.graphicClass().name);
    std::vector<std::string> expected;
    for (const DesignRow& row : kDesignRegistry)
        if (built.count(row.className))
            expected.push_back(std::string(row.extension) + ": " + row.description + ", " + row.className);
    std::vector<std::string> registered;
    for (const core::TFileFormatsList::Entry& e : core::GetFileFormats().Entries())
        registered.push_back(e.extension + ": " + e.description + ", " + e.graphicClass->name);
    EXPECT_EQ(registered, expected);
    // And no descriptor carries a row the design does not have.
    std::size_t rows = 0;
    for (const formats::TFormatDescriptor* format : formats::Formats())
        rows += format->rows.size();
    EXPECT_EQ(rows, registered.size());
}

TEST(FormatTables, EveryWriterIsSaveableByTheDesignsTextAndNamesItsFormat)
{
    std::set<std::string> extensions;
    for (const formats::TFormatDescriptor* format : formats::Formats()) {
        const formats::TFormatWriter* writer = format->writer;
        if (writer == nullptr)
            continue;
        EXPECT_TRUE(extensions.insert(writer->extension).second) << "two writers for " << writer->extension;
        EXPECT_NE(kSaveableFormats.find(std::string("*") + writer->extension), std::string::npos) << writer->extension;
        EXPECT_EQ(formats::FindWriter(writer->extension), writer);
    }
    EXPECT_EQ(formats::FindWriter(".jpe"), nullptr);
}

TEST(FormatTables, TheFormatBoxesAndTheDefaultListChooseBuiltWriters)
{
    ASSERT_EQ(files::kFormatNames.size(), kFormatBox.size());
    for (std::size_t i = 0; i < kFormatBox.size(); ++i) {
        EXPECT_EQ(files::kFormatNames[i], kFormatBox[i].first);
        EXPECT_EQ(output::TRunner::FormatExtension(static_cast<int>(i)), kFormatBox[i].second) << kFormatBox[i].first;
    }
    EXPECT_EQ(output::TRunner::FormatExtension(-1), "");
    EXPECT_EQ(output::TRunner::FormatExtension(static_cast<int>(kFormatBox.size())), "");
    EXPECT_EQ((std::vector<std::string>(files::kDefaultFormats.begin(), files::kDefaultFormats.end())),
              (std::vector<std::string>{".bmp", ".jpg", ".png", ".gif", ".tga"}));
    for (const char* ext : files::kDefaultFormats)
        EXPECT_NE(formats::FindWriter(ext), nullptr) << ext;
}

TEST(FormatTables, EachContentCheckKnowsItsOwnFilesOnly)
{
    const auto bitmap = test::MakeBitmap24(5, 3, [](int x, int y) { return core::RGB(40 * x, 60 * y, 200); });
    for (const formats::TFormatDescriptor* writer : formats::Formats()) {
        if (writer->writer == nullptr)
            continue;
        core::TMemoryStream stream;
        writer->writer->write(*bitmap, stream);
        const std::vector<std::uint8_t>& bytes = stream.Bytes();
        const std::span<const std::uint8_t> start(bytes.data(), std::min(bytes.size(), formats::kContentCheckBytes));
        for (const formats::TFormatDescriptor* check : formats::Formats())
            EXPECT_EQ(check->recognises(start), check == writer) << check->name << " on " << writer->name << " bytes";
        for (const formats::TFormatDescriptor* check : formats::Formats())
            EXPECT_FALSE(check->recognises(start.first(1))) << check->name << " on one byte";
    }
}
