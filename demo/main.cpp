// scalopex-demo: opens an image and writes its three scaled copies
// ("_lge" 800, "_med" 250, "_sml" 120 pixels) as BMP files into a folder.
// Without an image it first makes a sample picture to work on.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/exceptions.h"
#include "base/paths.h"
#include "core/bitmap.h"
#include "core/opening.h"
#include "core/scaling.h"
#include "formats/registry.h"
#include "platform/memory.h"

using namespace scalopex;

namespace {

// A 1600 × 1200 picture: colour gradients with a disc, written as BMP.
std::string MakeSample(const std::string& folder)
{
    core::TBitmap sample;
    sample.SetPixelFormat(core::pf24bit);
    sample.SetSize(1600, 1200);
    for (int y = 0; y < sample.Height(); ++y) {
        std::uint8_t* row = sample.ScanLine(y);
        for (int x = 0; x < sample.Width(); ++x) {
            const double dx = x - 1000.0, dy = y - 500.0;
            const bool disc = dx * dx + dy * dy < 250.0 * 250.0;
            row[3 * x] = static_cast<std::uint8_t>(disc ? 40 : 255 - y * 255 / 1200);
            row[3 * x + 1] = static_cast<std::uint8_t>(disc ? 60 : x * 255 / 1600);
            row[3 * x + 2] = static_cast<std::uint8_t>(disc ? 200 : 128 + 127 * std::sin(x / 90.0));
        }
    }
    const std::string path = folder + "sample.bmp";
    sample.SaveToFile(path);
    return path;
}

}  // namespace

int main(int argc, char** argv)
{
    platform::TuneAllocatorForImages();
    formats::RegisterFileFormats();
    try {
        const std::string outFolder = base::IncludeTrailingBackslash(argc > 2 ? argv[2] : "build/demo-output");
        std::filesystem::create_directories(outFolder);
        const std::string source = argc > 1 ? argv[1] : MakeSample(outFolder);
        std::unique_ptr<core::TBitmap> working = core::LoadGraphicAsBitmap(source);
        std::printf("%s: %d x %d pixels\n", source.c_str(), working->Width(), working->Height());
        const struct {
            const char* suffix;
            int max;
        } slots[] = {{"_lge", 800}, {"_med", 250}, {"_sml", 120}};
        const std::string base = base::ChangeFileExt(base::ExtractFileName(source), "");
        for (const auto& slot : slots) {
            std::unique_ptr<core::TBitmap> copy = core::ScaleToMaxDimension(working.get(), slot.max, core::kHalftoneFilter);
            const std::string out = outFolder + base + slot.suffix + ".bmp";
            copy->SaveToFile(out);
            std::printf("wrote %s (%d x %d)\n", out.c_str(), copy->Width(), copy->Height());
        }
    } catch (const base::Exception& e) {
        std::fprintf(stderr, "scalopex-demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
