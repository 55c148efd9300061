#include "bench/bench_support.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

namespace scalopex::bench {

namespace {

// A small fixed-seed generator: the same raster on every run and machine.
class TNoise {
public:
    std::uint32_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return static_cast<std::uint32_t>(m_state >> 32);
    }

private:
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

std::uint8_t Clamp(double v)
{
    return static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
}

std::unique_ptr<core::TBitmap> MakePhotoRaster(int width, int height)
{
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(core::pf24bit);
    bitmap->SetSize(width, height);
    TNoise noise;
    for (int y = 0; y < height; ++y) {
        const double v = static_cast<double>(y) / height;
        std::uint8_t* row = bitmap->ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const std::uint32_t n = noise.Next();
            const double jitter = static_cast<double>(n & 0x1F) - 16.0;
            row[3 * x] = Clamp(200.0 * v + 40.0 * std::sin(9.0 * u) + jitter);
            row[3 * x + 1] = Clamp(128.0 + 100.0 * std::sin(5.0 * u + 3.0 * v) + jitter);
            row[3 * x + 2] = Clamp(230.0 * u * (1.0 - 0.5 * v) + static_cast<double>((n >> 8) & 0xF));
        }
    }
    return bitmap;
}

}  // namespace

const core::TBitmap& PhotoRaster(int width, int height)
{
    static std::map<std::pair<int, int>, std::unique_ptr<core::TBitmap>> cache;
    std::unique_ptr<core::TBitmap>& slot = cache[{width, height}];
    if (!slot)
        slot = MakePhotoRaster(width, height);
    return *slot;
}

double Minimum(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

}  // namespace scalopex::bench
