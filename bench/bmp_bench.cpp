// Reading and writing the BMP file image of a large 24-bit raster in memory.
// Buffers this large come fresh from the kernel on every iteration, so the
// figures include first-touch page faults, which are costly in some virtual
// machines.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_support.h"
#include "core/stream.h"

using namespace scalopex;

namespace {

std::vector<std::uint8_t> BmpBytes(const core::TBitmap& source)
{
    core::TBitmap copy;
    copy.Assign(&source);
    core::TMemoryStream memory;
    copy.SaveToStream(memory);
    return memory.TakeBytes();
}

void BM_BmpRead(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes =
        BmpBytes(bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    for (auto _ : state) {
        core::TBitmap bitmap;
        bitmap.LoadFromBytes(bytes);
        benchmark::DoNotOptimize(bitmap.ScanLineRead(0));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}

void BM_BmpWrite(benchmark::State& state)
{
    core::TBitmap bitmap;
    bitmap.Assign(&bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    std::int64_t written = 0;
    for (auto _ : state) {
        core::TMemoryStream memory;
        bitmap.SaveToStream(memory);
        written += static_cast<std::int64_t>(memory.Size());
        benchmark::DoNotOptimize(memory.Bytes().data());
    }
    state.SetBytesProcessed(written);
}

}  // namespace

BENCHMARK(BM_BmpRead)
    ->ArgNames({"w", "h"})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_BmpWrite)
    ->ArgNames({"w", "h"})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
