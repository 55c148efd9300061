// Row conversion throughput of TColorManager for the common reader cases,
// and the Targa run-length codec over one row.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "base/byte_cursor.h"
#include "formats/common/color_manager.h"
#include "formats/common/targa_rle.h"

namespace {

using scalopex::formats::ColorScheme;
using scalopex::formats::TColorManager;

constexpr std::size_t kPixels = 4096;

struct Setup {
    ColorScheme source, target;
    std::uint8_t sourceBits, targetBits, sourceSamples;
    std::uint8_t sourceFlags;
};

void ConvertRow(benchmark::State& state, Setup s)
{
    TColorManager cm;
    cm.SetSourceScheme(s.source);
    cm.SetTargetScheme(s.target);
    cm.SetSourceSampleBits(s.sourceBits);
    cm.SetTargetSampleBits(s.targetBits);
    cm.SourceFlags = s.sourceFlags;
    std::vector<std::uint8_t> source(kPixels * 8);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::vector<std::uint8_t> target(kPixels * 8);
    for (auto _ : state) {
        cm.ConvertRow(source, target, kPixels);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kPixels));
}

using scalopex::formats::cfSwapBytes16;

BENCHMARK_CAPTURE(ConvertRow, rgb8_to_bgr8, Setup{ColorScheme::RGB, ColorScheme::BGR, 8, 8, 3, 0});
BENCHMARK_CAPTURE(ConvertRow, rgba8_to_bgra8, Setup{ColorScheme::RGBA, ColorScheme::BGRA, 8, 8, 4, 0});
BENCHMARK_CAPTURE(ConvertRow, bgr8_to_bgr8, Setup{ColorScheme::BGR, ColorScheme::BGR, 8, 8, 3, 0});
BENCHMARK_CAPTURE(ConvertRow, rgb16swap_to_bgr8, Setup{ColorScheme::RGB, ColorScheme::BGR, 16, 8, 3, cfSwapBytes16});
BENCHMARK_CAPTURE(ConvertRow, rgba16swap_to_bgra8, Setup{ColorScheme::RGBA, ColorScheme::BGRA, 16, 8, 4, cfSwapBytes16});
BENCHMARK_CAPTURE(ConvertRow, rgb8_to_bgra8, Setup{ColorScheme::RGB, ColorScheme::BGRA, 8, 8, 3, 0});
BENCHMARK_CAPTURE(ConvertRow, gray8_to_gray8, Setup{ColorScheme::Gray, ColorScheme::Gray, 8, 8, 1, 0});
BENCHMARK_CAPTURE(ConvertRow, gray16swap_to_gray8, Setup{ColorScheme::Gray, ColorScheme::Gray, 16, 8, 1, cfSwapBytes16});
BENCHMARK_CAPTURE(ConvertRow, index1_to_index8, Setup{ColorScheme::Indexed, ColorScheme::Indexed, 1, 8, 1, 0});
BENCHMARK_CAPTURE(ConvertRow, index4_to_index8, Setup{ColorScheme::Indexed, ColorScheme::Indexed, 4, 8, 1, 0});
BENCHMARK_CAPTURE(ConvertRow, cmyk8_to_bgr8, Setup{ColorScheme::CMYK, ColorScheme::BGR, 8, 8, 4, 0});
BENCHMARK_CAPTURE(ConvertRow, ycbcr8_to_bgr8, Setup{ColorScheme::YCbCr, ColorScheme::BGR, 8, 8, 3, 0});
BENCHMARK_CAPTURE(ConvertRow, lab8_to_bgr8, Setup{ColorScheme::CIELab, ColorScheme::BGR, 8, 8, 3, 0});

// One 4096-pixel 24-bit row of short runs and noise, encoded and decoded.
std::vector<std::uint8_t> TargaRow()
{
    std::vector<std::uint8_t> row(kPixels * 3);
    for (std::size_t i = 0; i < kPixels; ++i)
        for (std::size_t k = 0; k < 3; ++k)
            row[3 * i + k] = static_cast<std::uint8_t>((i / 16) % 2 == 0 ? 90 + k : i * 7 + k);
    return row;
}

void TargaEncodeRow(benchmark::State& state)
{
    const std::vector<std::uint8_t> row = TargaRow();
    scalopex::formats::TTargaRLEDecoder codec(24);
    std::vector<std::uint8_t> out(codec.EncodeBound(kPixels));
    for (auto _ : state)
        benchmark::DoNotOptimize(codec.Encode(row, out, kPixels));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kPixels));
}
BENCHMARK(TargaEncodeRow);

void TargaDecodeRow(benchmark::State& state)
{
    const std::vector<std::uint8_t> row = TargaRow();
    scalopex::formats::TTargaRLEDecoder codec(24);
    std::vector<std::uint8_t> packets(codec.EncodeBound(kPixels));
    packets.resize(codec.Encode(row, packets, kPixels));
    std::vector<std::uint8_t> out(row.size());
    for (auto _ : state) {
        scalopex::base::ByteCursor source(packets);
        codec.StartDecoding();
        benchmark::DoNotOptimize(codec.Decode(source, out));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kPixels));
}
BENCHMARK(TargaDecodeRow);

}  // namespace
