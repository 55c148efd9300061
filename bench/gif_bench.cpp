// GIF: reducing a photograph-like 24-bit raster to 256 colours and writing
// it (the saving routine's path), and reading a large GIF and drawing its
// first frame onto a 24-bit raster (the opening path). All in memory.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "core/opening.h"
#include "core/stream.h"
#include "formats/gif/color_reduction.h"
#include "formats/gif/gif_image.h"

using namespace scalopex;

namespace {

std::vector<std::uint8_t> GifBytes(const core::TBitmap& source)
{
    core::TMemoryStream memory;
    formats::WriteGIF(source, memory);
    return memory.TakeBytes();
}

void BM_GifReduceAndWrite(benchmark::State& state)
{
    const core::TBitmap& source = bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::int64_t pixels = 0;
    for (auto _ : state) {
        core::TMemoryStream memory;
        formats::WriteGIF(source, memory);
        benchmark::DoNotOptimize(memory.Bytes().data());
        pixels += static_cast<std::int64_t>(source.Width()) * source.Height();
    }
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(pixels) / 1e6, benchmark::Counter::kIsRate);
}

void BM_GifReduceOnly(benchmark::State& state)
{
    const core::TBitmap& source = bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        std::unique_ptr<core::TBitmap> reduced = formats::ReduceColors(source, formats::TColorReduction::OctreeWithSystemColors);
        benchmark::DoNotOptimize(reduced->ScanLineRead(0));
    }
}

void BM_GifReadAndDraw(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes =
        GifBytes(bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    for (auto _ : state) {
        formats::TGIFImage gif;
        gif.LoadFromBytes(bytes);
        std::unique_ptr<core::TBitmap> bitmap = core::GraphicToBitmap(&gif);
        benchmark::DoNotOptimize(bitmap->ScanLineRead(0));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}

}  // namespace

BENCHMARK(BM_GifReduceAndWrite)
    ->ArgNames({"w", "h"})
    ->Args({800, 600})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_GifReduceOnly)
    ->ArgNames({"w", "h"})
    ->Args({800, 600})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_GifReadAndDraw)
    ->ArgNames({"w", "h"})
    ->Args({2000, 1500})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
