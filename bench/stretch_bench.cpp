// The area-average stretch alone, through StretchHalftone, and the whole
// cost of one output slot (ScaleToMaxDimension).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "core/scaling.h"
#include "platform/gdi/stretch.h"

using namespace scalopex;

namespace {

// The source raster named by the first two arguments.
const core::TBitmap& Source(const benchmark::State& state)
{
    return bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}

// args: source width, source height, destination width, destination height.
void BM_AreaAverageStretch(benchmark::State& state)
{
    const core::TBitmap& source = Source(state);
    const core::TBitmapImage& src = source.Image();
    const int width = static_cast<int>(state.range(2));
    const int height = static_cast<int>(state.range(3));
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> dst(stride * static_cast<std::size_t>(height));
    for (auto _ : state) {
        gdi::AreaAverageStretch(
            gdi::TConstPixelRows{src.Row(0), static_cast<std::ptrdiff_t>(src.stride), src.width, src.height},
            gdi::TPixelRows{dst.data(), static_cast<std::ptrdiff_t>(stride), width, height}, 3);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

// The same through the raster: allocating the target and assigning it back.
void BM_StretchHalftone(benchmark::State& state)
{
    const core::TBitmap& source = Source(state);
    for (auto _ : state) {
        core::TBitmap work;
        work.Assign(&source);  // shares the pixels; the stretch only reads them
        core::StretchHalftone(static_cast<int>(state.range(2)), static_cast<int>(state.range(3)), work);
        benchmark::DoNotOptimize(work.ScanLineRead(0));
    }
}

// One output slot: two 24-bit copies, the stretch and the dormant BMP image.
// The result and its BMP image are fresh allocations; when the allocator has
// handed such memory back to the kernel, first-touch page faults are part of
// the figure.
void BM_ScaleToMaxDimension(benchmark::State& state)
{
    const core::TBitmap& source = Source(state);
    for (auto _ : state) {
        std::unique_ptr<core::TBitmap> result =
            core::ScaleToMaxDimension(&source, static_cast<int>(state.range(2)), core::kHalftoneFilter);
        benchmark::DoNotOptimize(result.get());
    }
}

void StretchSizes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"sw", "sh", "dw", "dh"});
    b->Args({4000, 3000, 800, 600});
    b->Args({4000, 3000, 250, 188});
    b->Args({4000, 3000, 120, 90});
    b->Args({100, 50, 800, 400});
    b->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::Minimum);
}

}  // namespace

BENCHMARK(BM_AreaAverageStretch)->Apply(StretchSizes);
BENCHMARK(BM_StretchHalftone)->Apply(StretchSizes);
BENCHMARK(BM_ScaleToMaxDimension)
    ->ArgNames({"sw", "sh", "max"})
    ->Args({4000, 3000, 800})
    ->Args({4000, 3000, 250})
    ->Args({4000, 3000, 120})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
