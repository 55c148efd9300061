// Writing a large photo-like raster as PNG with the saving routine's
// settings (filters Sub and Up, deflate level 8), and reading that file back.
// Both are dominated by zlib; the figures show what the row work adds.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_support.h"
#include "core/stream.h"
#include "formats/png/png_graphic.h"
#include "formats/png/png_object.h"

using namespace scalopex;

namespace {

const core::TBitmap& Source(const benchmark::State& state)
{
    return bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}

std::vector<std::uint8_t> PngBytes(const core::TBitmap& bitmap)
{
    formats::TPNGObject png;
    png.PngFilters = formats::PngFilter::Sub | formats::PngFilter::Up;
    png.PngDeflateLevel = 8;
    png.Assign(&bitmap);
    core::TMemoryStream memory;
    png.SaveToStream(memory);
    return memory.TakeBytes();
}

void BM_PngEncode(benchmark::State& state)
{
    const core::TBitmap& bitmap = Source(state);
    std::int64_t pixels = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> bytes = PngBytes(bitmap);
        benchmark::DoNotOptimize(bytes.data());
        state.counters["bytes"] = static_cast<double>(bytes.size());
        pixels += static_cast<std::int64_t>(bitmap.Width()) * bitmap.Height();
    }
    state.SetItemsProcessed(pixels);
}

void BM_PngDecode(benchmark::State& state)
{
    const core::TBitmap& bitmap = Source(state);
    const std::vector<std::uint8_t> bytes = PngBytes(bitmap);
    for (auto _ : state) {
        core::TMemoryStream stream(bytes);
        formats::TPNGGraphic png;
        png.LoadFromStream(stream);
        benchmark::DoNotOptimize(png.ScanLineRead(0));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * bitmap.Width() * bitmap.Height());
}

}  // namespace

BENCHMARK(BM_PngEncode)
    ->ArgNames({"w", "h"})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_PngDecode)
    ->ArgNames({"w", "h"})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
