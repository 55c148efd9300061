#include "platform/gdi/stretch.h"

#include <numeric>
#include <vector>

// The stretch works in two passes on whole rows. Coordinates are scaled so
// that every pixel border of both rasters falls on an integer: with
// g = gcd(S, D), a source pixel is D/g units long and a destination pixel
// S/g units, so each overlap, and thus each weight, is an exact integer.
// The vertical pass sums weighted source rows into one row of column sums
// (pure element-wise work that the compiler vectorises); the horizontal pass
// then sums a few neighbouring column sums per destination pixel. The total
// is divided once, so the result is the exact area average, rounded.

namespace scalopex::gdi {

namespace {

struct AxisPlan {
    std::vector<std::uint32_t> first;   // first source index per destination index
    std::vector<std::uint32_t> count;   // number of source indices
    std::vector<std::uint32_t> offset;  // start of its weights in weights
    std::vector<std::uint32_t> weights;
    std::uint64_t total = 0;            // sum of the weights of one destination index
};

AxisPlan MakePlan(std::uint64_t src, std::uint64_t dst)
{
    AxisPlan plan;
    const std::uint64_t g = std::gcd(src, dst);
    const std::uint64_t a = dst / g;  // length of a source pixel
    const std::uint64_t b = src / g;  // length of a destination pixel
    plan.total = b;
    plan.first.resize(dst);
    plan.count.resize(dst);
    plan.offset.resize(dst);
    for (std::uint64_t x = 0; x < dst; ++x) {
        const std::uint64_t lo = x * b;
        const std::uint64_t hi = lo + b;
        const std::uint64_t i0 = lo / a;
        const std::uint64_t i1 = (hi - 1) / a;
        plan.first[x] = static_cast<std::uint32_t>(i0);
        plan.count[x] = static_cast<std::uint32_t>(i1 - i0 + 1);
        plan.offset[x] = static_cast<std::uint32_t>(plan.weights.size());
        for (std::uint64_t i = i0; i <= i1; ++i) {
            const std::uint64_t s = std::max(i * a, lo);
            const std::uint64_t e = std::min((i + 1) * a, hi);
            plan.weights.push_back(static_cast<std::uint32_t>(e - s));
        }
    }
    return plan;
}

// Column sums of the source rows of one destination row.
template <typename Acc>
void SumRows(const TConstPixelRows& src, const AxisPlan& rows, std::size_t y, std::size_t rowLength, Acc* acc)
{
    const std::uint32_t first = rows.first[y];
    const std::uint32_t* w = rows.weights.data() + rows.offset[y];
    const std::uint8_t* in = src.bits + static_cast<std::ptrdiff_t>(first) * src.stride;
    const Acc w0 = static_cast<Acc>(w[0]);
    for (std::size_t i = 0; i < rowLength; ++i)
        acc[i] = static_cast<Acc>(in[i] * w0);
    for (std::uint32_t k = 1; k < rows.count[y]; ++k) {
        in += src.stride;
        const Acc wk = static_cast<Acc>(w[k]);
        for (std::size_t i = 0; i < rowLength; ++i)
            acc[i] = static_cast<Acc>(acc[i] + in[i] * wk);
    }
}

// One destination row from the column sums.
template <typename Acc, int Bpp>
void SumColumns(const Acc* acc, const AxisPlan& cols, std::size_t width, double scale, std::uint8_t* out)
{
    for (std::size_t x = 0; x < width; ++x) {
        const Acc* in = acc + static_cast<std::size_t>(cols.first[x]) * Bpp;
        const std::uint32_t* w = cols.weights.data() + cols.offset[x];
        std::uint64_t sum[Bpp] = {};
        for (std::uint32_t k = 0; k < cols.count[x]; ++k) {
            const std::uint64_t wk = w[k];
            for (int c = 0; c < Bpp; ++c)
                sum[c] += in[c] * wk;
            in += Bpp;
        }
        // scale is 1 / total; the small bias makes exact halves round up
        // despite the inexact reciprocal (fractions are multiples of 1/total).
        for (int c = 0; c < Bpp; ++c)
            out[c] = static_cast<std::uint8_t>(static_cast<double>(sum[c]) * scale + 0.5000000001);
        out += Bpp;
    }
}

template <typename Acc, int Bpp>
void Stretch(const TConstPixelRows& src, const TPixelRows& dst, const AxisPlan& rows, const AxisPlan& cols)
{
    const std::size_t rowLength = static_cast<std::size_t>(src.width) * Bpp;
    std::vector<Acc> acc(rowLength);
    const double scale = 1.0 / static_cast<double>(rows.total * cols.total);
    for (std::size_t y = 0; y < static_cast<std::size_t>(dst.height); ++y) {
        SumRows<Acc>(src, rows, y, rowLength, acc.data());
        SumColumns<Acc, Bpp>(acc.data(), cols, static_cast<std::size_t>(dst.width), scale,
                             dst.bits + static_cast<std::ptrdiff_t>(y) * dst.stride);
    }
}

template <int Bpp>
void StretchBpp(const TConstPixelRows& src, const TPixelRows& dst, const AxisPlan& rows, const AxisPlan& cols)
{
    // Narrow sums halve the memory traffic of the vertical pass when they fit.
    if (rows.total * 255 <= 0xFFFF)
        Stretch<std::uint16_t, Bpp>(src, dst, rows, cols);
    else if (rows.total * 255 <= 0xFFFFFFFF)
        Stretch<std::uint32_t, Bpp>(src, dst, rows, cols);
    else
        Stretch<std::uint64_t, Bpp>(src, dst, rows, cols);
}

}  // namespace

void AreaAverageStretch(const TConstPixelRows& src, const TPixelRows& dst, int bytesPerPixel)
{
    if (src.width <= 0 || src.height <= 0 || dst.width <= 0 || dst.height <= 0)
        return;
    const AxisPlan rows = MakePlan(static_cast<std::uint64_t>(src.height), static_cast<std::uint64_t>(dst.height));
    const AxisPlan cols = MakePlan(static_cast<std::uint64_t>(src.width), static_cast<std::uint64_t>(dst.width));
    switch (bytesPerPixel) {
    case 1: StretchBpp<1>(src, dst, rows, cols); break;
    case 2: StretchBpp<2>(src, dst, rows, cols); break;
    case 3: StretchBpp<3>(src, dst, rows, cols); break;
    default: StretchBpp<4>(src, dst, rows, cols); break;
    }
}

}  // namespace scalopex::gdi
