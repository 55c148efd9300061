// JPEG decoding of a 4000 x 3000 photograph and encoding of its 800 x 600
// copy, to be set beside `djpeg -dct float` and `cjpeg -dct float -quality
// 90` on the same files. The inputs come from
// /work/shared/bench-inputs/make-inputs.sh OUTDIR; OUTDIR is read from
// SCALOPEX_BENCH_INPUTS (default /tmp/bench-in). The 800 x 600 copy is made
// with the product's own scaling and left there as photo_800x600.ppm, so that
// cjpeg can compress exactly the same pixels.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/opening.h"
#include "core/scaling.h"
#include "core/stream.h"
#include "formats/jpeg/jpeg_image.h"

using namespace scalopex;

namespace {

std::string InputDir()
{
    const char* dir = std::getenv("SCALOPEX_BENCH_INPUTS");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp/bench-in") + "/";
}

std::string PhotoPath() { return InputDir() + "photo_4000x3000.jpg"; }

bool HavePhoto(benchmark::State& state)
{
    if (std::filesystem::exists(PhotoPath()))
        return true;
    state.SkipWithError(("missing " + PhotoPath() + ": run make-inputs.sh").c_str());
    return false;
}

// Writes the raster as a binary PPM (cjpeg's input) unless the file exists.
void KeepAsPpm(const core::TBitmap& bitmap, const std::string& path)
{
    if (std::filesystem::exists(path))
        return;
    std::vector<std::uint8_t> bytes;
    const std::string header = "P6\n" + std::to_string(bitmap.Width()) + " " + std::to_string(bitmap.Height()) + "\n255\n";
    bytes.assign(header.begin(), header.end());
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.ScanLineRead(y);
        for (int x = 0; x < bitmap.Width(); ++x)
            bytes.insert(bytes.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    core::TFileStream out(path, core::TFileStream::Mode::Create);
    out.WriteBuffer(bytes);
}

// The 800 x 600 copy of the photograph, as a slot of the product makes it.
const core::TBitmap& SmallCopy()
{
    static std::unique_ptr<core::TBitmap> copy;
    if (!copy) {
        formats::TJPEGImage jpeg;
        jpeg.LoadFromFile(PhotoPath());
        copy = core::ScaleToMaxDimension(&jpeg, 800, core::kHalftoneFilter);
        copy->SetPixelFormat(core::pf24bit);
        KeepAsPpm(*copy, InputDir() + "photo_800x600.ppm");
    }
    return *copy;
}

// Load (reading the file) and decode to the 24-bit raster.
void BM_JpegDecode(benchmark::State& state)
{
    if (!HavePhoto(state))
        return;
    for (auto _ : state) {
        formats::TJPEGImage jpeg;
        jpeg.LoadFromFile(PhotoPath());
        benchmark::DoNotOptimize(jpeg.Bitmap().ScanLineRead(0));
    }
}

// Only the 36 MB raster the decoder fills: allocation and first touch of its
// pages (white fill). Decode minus this is the codec's own time.
void BM_JpegRasterAllocation(benchmark::State& state)
{
    for (auto _ : state) {
        core::TBitmap bitmap;
        bitmap.SetPixelFormat(core::pf24bit);
        bitmap.SetSize(4000, 3000);
        benchmark::DoNotOptimize(bitmap.ScanLineRead(0));
    }
}

// The same, then drawn onto a new 24-bit raster as opening a file does.
void BM_JpegOpenAsBitmap(benchmark::State& state)
{
    if (!HavePhoto(state))
        return;
    for (auto _ : state) {
        formats::TJPEGImage jpeg;
        jpeg.LoadFromFile(PhotoPath());
        const std::unique_ptr<core::TBitmap> bitmap = core::GraphicToBitmap(&jpeg);
        benchmark::DoNotOptimize(bitmap->ScanLineRead(0));
    }
}

// Encoding the 800 x 600 copy at quality 90, as the saving routine does.
void BM_JpegEncode800x600(benchmark::State& state)
{
    if (!HavePhoto(state))
        return;
    const core::TBitmap& copy = SmallCopy();
    std::int64_t written = 0;
    for (auto _ : state) {
        core::TMemoryStream stream;
        formats::SaveBitmapAsJpeg(copy, stream);
        written += static_cast<std::int64_t>(stream.Size());
        benchmark::DoNotOptimize(stream.Bytes().data());
    }
    state.counters["bytes"] = benchmark::Counter(static_cast<double>(written) / static_cast<double>(state.iterations()));
}

}  // namespace

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_JpegRasterAllocation)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_JpegOpenAsBitmap)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_JpegEncode800x600)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::Minimum);
