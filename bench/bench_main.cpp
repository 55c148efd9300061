// The benchmarks run with the allocator set up as the programs set it up.
#include <benchmark/benchmark.h>

#include "platform/memory.h"

int main(int argc, char** argv)
{
    scalopex::platform::TuneAllocatorForImages();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
