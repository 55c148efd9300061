// Writing a large photo-like raster as a run-length encoded Targa file, as
// the saving routine does, and reading that file back. Both are row copies
// and packet work, so the figures show the whole cost of the format.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_support.h"
#include "core/stream.h"
#include "formats/targa/targa_graphic.h"

using namespace scalopex;

namespace {

const core::TBitmap& Source(const benchmark::State& state)
{
    return bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}

std::vector<std::uint8_t> TargaBytes(const core::TBitmap& bitmap)
{
    formats::TTargaGraphic targa;
    targa.Assign(&bitmap);
    core::TMemoryStream memory;
    targa.SaveToStream(memory, true);
    return memory.TakeBytes();
}

void BM_TargaEncode(benchmark::State& state)
{
    const core::TBitmap& bitmap = Source(state);
    for (auto _ : state) {
        const std::vector<std::uint8_t> bytes = TargaBytes(bitmap);
        benchmark::DoNotOptimize(bytes.data());
        state.counters["bytes"] = static_cast<double>(bytes.size());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * bitmap.Width() * bitmap.Height());
}

void BM_TargaDecode(benchmark::State& state)
{
    const core::TBitmap& bitmap = Source(state);
    const std::vector<std::uint8_t> bytes = TargaBytes(bitmap);
    for (auto _ : state) {
        core::TMemoryStream stream(bytes);
        formats::TTargaGraphic targa;
        targa.LoadFromStream(stream);
        benchmark::DoNotOptimize(targa.ScanLineRead(0));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * bitmap.Width() * bitmap.Height());
}

}  // namespace

BENCHMARK(BM_TargaEncode)
    ->ArgNames({"w", "h"})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_TargaDecode)
    ->ArgNames({"w", "h"})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
