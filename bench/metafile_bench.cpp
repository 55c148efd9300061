// Writing a large 24-bit raster as an enhanced metafile and opening it back
// (load and playback onto a new raster), beside the same round trip as BMP.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_support.h"
#include "core/opening.h"
#include "core/stream.h"
#include "formats/metafile/metafile_graphic.h"
#include "formats/registry.h"

using namespace scalopex;

namespace {

void BM_MetafileRoundTrip(benchmark::State& state)
{
    const core::TBitmap& raster =
        bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        core::TMemoryStream memory;
        formats::MetafileFormat().writer->write(raster, memory);
        memory.SetPosition(0);
        formats::TMetafile metafile;
        metafile.LoadFromStream(memory);
        const auto opened = core::GraphicToBitmap(&metafile);
        benchmark::DoNotOptimize(opened->ScanLineRead(0));
    }
}

void BM_BmpRoundTrip(benchmark::State& state)
{
    core::TBitmap raster;
    raster.Assign(&bench::PhotoRaster(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    for (auto _ : state) {
        core::TMemoryStream memory;
        raster.SaveToStream(memory);
        core::TBitmap opened;
        opened.LoadFromBytes(memory.TakeBytes());
        benchmark::DoNotOptimize(opened.ScanLineRead(0));
    }
}

}  // namespace

BENCHMARK(BM_MetafileRoundTrip)
    ->ArgNames({"w", "h"})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
BENCHMARK(BM_BmpRoundTrip)
    ->ArgNames({"w", "h"})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench::Minimum);
