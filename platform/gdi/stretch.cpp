#include "platform/gdi/stretch.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The stretch works in two passes on whole rows. Coordinates are scaled so
// that every pixel border of both rasters falls on an integer: with
// g = gcd(S, D), a source pixel is D/g units long and a destination pixel
// S/g units, so each overlap, and thus each weight, is an exact integer.
// A destination pixel covers a run of source pixels of which only the first
// and the last can be covered in part; the ones between weigh D/g each.
// The vertical pass sums weighted source rows into one row of column sums
// (element-wise work that the compiler vectorises); the horizontal pass sums
// the run of column sums under each destination pixel, with all channels of
// a pixel in one vector where SSE2 is there. The total is divided once,
// exactly, by a multiplication, so the result is the exact area average,
// rounded. Sums use the narrowest integers that hold them.

namespace scalopex::gdi {

namespace {

__extension__ typedef unsigned __int128 UInt128;

int BitWidth(UInt128 v)
{
    const auto high = static_cast<std::uint64_t>(v >> 64);
    return high != 0 ? 64 + static_cast<int>(std::bit_width(high))
                     : static_cast<int>(std::bit_width(static_cast<std::uint64_t>(v)));
}

// The source run under one destination index.
struct Span {
    std::uint32_t first = 0;        // first source index
    std::uint32_t count = 0;        // number of source indices
    std::uint32_t firstWeight = 0;  // overlap of the first; the whole length when count is 1
    std::uint32_t lastWeight = 0;   // overlap of the last

    bool operator==(const Span&) const = default;
};

// Every weight is at most inner: a partial overlap is shorter than a whole
// source pixel, and a run of one lies inside a single source pixel.
struct AxisPlan {
    std::vector<Span> spans;     // one per destination index
    std::uint32_t inner = 0;     // weight of a source index covered whole (D/g)
    std::uint64_t total = 0;     // weight of one destination index (S/g)
    std::uint32_t maxCount = 0;  // longest run
};

AxisPlan MakePlan(std::uint64_t src, std::uint64_t dst)
{
    AxisPlan plan;
    const std::uint64_t g = std::gcd(src, dst);
    const std::uint64_t a = dst / g;  // length of a source pixel
    const std::uint64_t b = src / g;  // length of a destination pixel
    plan.inner = static_cast<std::uint32_t>(a);
    plan.total = b;
    plan.spans.resize(dst);
    for (std::uint64_t x = 0; x < dst; ++x) {
        const std::uint64_t lo = x * b;
        const std::uint64_t hi = lo + b;
        const std::uint64_t i0 = lo / a;
        const std::uint64_t i1 = (hi - 1) / a;
        Span& span = plan.spans[x];
        span.first = static_cast<std::uint32_t>(i0);
        span.count = static_cast<std::uint32_t>(i1 - i0 + 1);
        span.firstWeight = static_cast<std::uint32_t>(std::min((i0 + 1) * a, hi) - lo);
        span.lastWeight = static_cast<std::uint32_t>(hi - std::max(i1 * a, lo));
        plan.maxCount = std::max(plan.maxCount, span.count);
    }
    return plan;
}

// Round-half-up division by the total weight T (at most the number of source
// pixels) of sums s up to 255 T, as one multiplication: floor((2s + T) / 2T) = floor((2s + T) × m / 2^k) with
// 2^k ≥ 1022 T² and m = 2^k / 2T rounded up. Rounding m up adds less than
// (2s + T) / 2^k ≤ 1/2T to the quotient, while the fraction of the exact
// quotient is a multiple of 1/2T below 1, so no integer is crossed.
class Divider {
public:
    explicit Divider(std::uint64_t total)
        : m_total(total), m_shift(BitWidth(static_cast<UInt128>(1022) * total * total - 1))
    {
        const UInt128 divisor = 2 * static_cast<UInt128>(total);
        m_multiplier = static_cast<std::uint64_t>(((static_cast<UInt128>(1) << m_shift) + divisor - 1) / divisor);
    }

    std::uint8_t operator()(std::uint64_t sum) const
    {
        return static_cast<std::uint8_t>((static_cast<UInt128>(2 * sum + m_total) * m_multiplier) >> m_shift);
    }

    std::uint64_t Total() const { return m_total; }
    int Shift() const { return m_shift; }
    // m ≤ 1022 T: below 2^32 for T up to about four million.
    std::uint64_t Multiplier() const { return m_multiplier; }

private:
    std::uint64_t m_total;
    int m_shift;
    std::uint64_t m_multiplier = 0;
};

// Column sums of the source rows of one destination row. The rows between
// the first and the last weigh the same, so they are added unweighted into
// mid, which needs no multiplication and stays 16 bits wide for up to 259
// rows; one last pass weighs the first row, mid and the last row into acc,
// so that wide sums are written once. Acc holds 255 × the total weight, Mid
// 255 × the rows between, Weight the largest weight (inner).
template <typename Acc, typename Mid, typename Weight>
[[gnu::always_inline]] inline void SumRowsBody(const std::uint8_t* first, std::ptrdiff_t stride, std::uint32_t count,
                                               Weight firstWeight, Weight inner, Weight lastWeight,
                                               std::size_t rowLength, Acc* acc, Mid* mid)
{
    if (count == 1) {
        for (std::size_t i = 0; i < rowLength; ++i)
            acc[i] = static_cast<Acc>(static_cast<Acc>(first[i]) * firstWeight);
        return;
    }
    const std::uint8_t* last = first + static_cast<std::ptrdiff_t>(count - 1) * stride;
    if (count == 2) {
        for (std::size_t i = 0; i < rowLength; ++i)
            acc[i] = static_cast<Acc>(static_cast<Acc>(first[i]) * firstWeight +
                                      static_cast<Acc>(last[i]) * lastWeight);
        return;
    }
    const std::uint8_t* in = first + stride;
    for (std::size_t i = 0; i < rowLength; ++i)
        mid[i] = in[i];
    for (in += stride; in != last; in += stride)
        for (std::size_t i = 0; i < rowLength; ++i)
            mid[i] = static_cast<Mid>(mid[i] + in[i]);
    for (std::size_t i = 0; i < rowLength; ++i)
        acc[i] = static_cast<Acc>(static_cast<Acc>(first[i]) * firstWeight + static_cast<Acc>(mid[i]) * inner +
                                  static_cast<Acc>(last[i]) * lastWeight);
}

// The vertical pass is compiled twice: for the baseline instruction set and,
// on x86, for AVX2, whose twice as wide vectors make the whole stretch a
// tenth to a third faster; the caller picks one at run time. Both stay out of line so that
// the compiler sees 16-bit weights as such and multiplies them into 32-bit
// sums with 16-bit vector multiplications.
template <typename Acc, typename Mid, typename Weight>
using SumRowsFunction = void (*)(const std::uint8_t*, std::ptrdiff_t, std::uint32_t, Weight, Weight, Weight,
                                 std::size_t, Acc*, Mid*);

template <typename Acc, typename Mid, typename Weight>
[[gnu::noinline]] void SumRows(const std::uint8_t* first, std::ptrdiff_t stride, std::uint32_t count,
                               Weight firstWeight, Weight inner, Weight lastWeight, std::size_t rowLength, Acc* acc,
                               Mid* mid)
{
    SumRowsBody(first, stride, count, firstWeight, inner, lastWeight, rowLength, acc, mid);
}

#if defined(__x86_64__) || defined(__i386__)
bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

template <typename Acc, typename Mid, typename Weight>
[[gnu::noinline, gnu::target("avx2")]] void SumRowsAvx2(const std::uint8_t* first, std::ptrdiff_t stride,
                                                        std::uint32_t count, Weight firstWeight, Weight inner,
                                                        Weight lastWeight, std::size_t rowLength, Acc* acc, Mid* mid)
{
    SumRowsBody(first, stride, count, firstWeight, inner, lastWeight, rowLength, acc, mid);
}
#endif

template <typename Acc, typename Mid, typename Weight>
SumRowsFunction<Acc, Mid, Weight> PickSumRows()
{
#if defined(__x86_64__) || defined(__i386__)
    if (HasAvx2())
        return SumRowsAvx2<Acc, Mid, Weight>;
#endif
    return SumRows<Acc, Mid, Weight>;
}

// One destination row from the column sums. Sum holds 255 × the total
// weight of a destination pixel. Short runs, the usual case, are summed
// without a loop.
template <typename Acc, typename Sum, int Bpp>
void SumColumns(const Acc* acc, const AxisPlan& cols, const Divider& divide, std::uint8_t* out)
{
    const Sum inner = cols.inner;
    for (const Span& span : cols.spans) {
        const Acc* in = acc + static_cast<std::size_t>(span.first) * Bpp;
        if (span.count == 1) {
            for (int c = 0; c < Bpp; ++c)
                out[c] = divide(static_cast<Sum>(in[c]) * span.firstWeight);
            out += Bpp;
            continue;
        }
        const Acc* last = in + static_cast<std::size_t>(span.count - 1) * Bpp;
        const Acc* p = in + Bpp;
        Sum middle[Bpp] = {};
        switch (span.count) {
        case 2:
            break;
        case 3:
            for (int c = 0; c < Bpp; ++c)
                middle[c] = p[c];
            break;
        case 4:
            for (int c = 0; c < Bpp; ++c)
                middle[c] = static_cast<Sum>(p[c]) + p[Bpp + c];
            break;
        case 5:
            for (int c = 0; c < Bpp; ++c)
                middle[c] = static_cast<Sum>(p[c]) + p[Bpp + c] + p[2 * Bpp + c];
            break;
        case 6:
            for (int c = 0; c < Bpp; ++c)
                middle[c] = static_cast<Sum>(p[c]) + p[Bpp + c] + p[2 * Bpp + c] + p[3 * Bpp + c];
            break;
        default:
            for (; p < last; p += Bpp)
                for (int c = 0; c < Bpp; ++c)
                    middle[c] += p[c];
            break;
        }
        for (int c = 0; c < Bpp; ++c)
            out[c] = divide(static_cast<Sum>(in[c]) * span.firstWeight + middle[c] * inner +
                            static_cast<Sum>(last[c]) * span.lastWeight);
        out += Bpp;
    }
}

#if defined(__SSE2__)

// The horizontal pass for 3 or 4 bytes a pixel with one pixel's channels in
// the lanes of one vector: products, sums and the division by multiplication
// work on all channels at once. Column sums are 16 or 32 bits wide; 16-bit
// ones are multiplied by the end weights of a run in one go. Needs 16-bit
// weights and a divider multiplier below 2^32 (so that 2 × sum + T fits in
// 32 bits); Fits checks.
template <typename Acc>
class VectorColumns {
public:
    VectorColumns(const AxisPlan& cols, const Divider& divide)
        : m_cols(cols),
          m_inner(_mm_set1_epi32(static_cast<int>(cols.inner))),
          m_total(_mm_set1_epi32(static_cast<int>(divide.Total()))),
          m_multiplier(_mm_set1_epi32(static_cast<int>(divide.Multiplier()))),
          m_shift(_mm_cvtsi32_si128(divide.Shift()))
    {
        // Per destination pixel: the weight of the first column sum in the
        // low four 16-bit lanes, of the last one (none for a run of one) in
        // the high four.
        m_weights.reserve(cols.spans.size());
        for (const Span& span : cols.spans) {
            const auto first = static_cast<std::int16_t>(span.firstWeight);
            const auto last = static_cast<std::int16_t>(span.count == 1 ? 0 : span.lastWeight);
            m_weights.push_back(TWeights{_mm_setr_epi16(first, first, first, first, last, last, last, last)});
        }
    }

    static bool Fits(const AxisPlan& cols, const Divider& divide)
    {
        return cols.inner <= 0xFFFF && divide.Multiplier() <= 0xFFFFFFFF;
    }

    // acc holds at least one element after the row: the fourth lane of the
    // last pixel reads it and is dropped.
    template <int Bpp>
    void Row(const Acc* acc, std::uint8_t* out) const
    {
        static_assert(Bpp == 3 || Bpp == 4);
        const bool unitInner = m_cols.inner == 1;
        const std::size_t width = m_cols.spans.size();
        for (std::size_t x = 0; x < width; ++x) {
            const Span& span = m_cols.spans[x];
            const Acc* in = acc + static_cast<std::size_t>(span.first) * Bpp;
            const Acc* last = in + static_cast<std::size_t>(span.count - 1) * Bpp;
            __m128i sum = WeighEnds(in, last, m_weights[x].v);
            if (span.count > 2) {
                __m128i middle = _mm_setzero_si128();
                for (const Acc* p = in + Bpp; p < last; p += Bpp)
                    middle = _mm_add_epi32(middle, Load4(p));
                sum = _mm_add_epi32(sum, unitInner ? middle : MulLow32(middle, m_inner));
            }
            // (2 sum + T) × m >> k in 64-bit lanes: channels 0 and 2, then 1 and 3.
            const __m128i numerator = _mm_add_epi32(_mm_add_epi32(sum, sum), m_total);
            const __m128i even = _mm_srl_epi64(_mm_mul_epu32(numerator, m_multiplier), m_shift);
            const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(numerator, 32), m_multiplier), m_shift);
            __m128i bytes = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
            bytes = _mm_packs_epi32(bytes, bytes);
            bytes = _mm_packus_epi16(bytes, bytes);
            const auto pixel = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
            // A 3-byte pixel is stored as 4 bytes; the next pixel overwrites the extra one.
            std::memcpy(out, &pixel, Bpp == 4 || x + 1 < width ? 4 : 3);
            out += Bpp;
        }
    }

private:
    struct TWeights {
        __m128i v;
    };

    // Four column sums as 32-bit lanes.
    static __m128i Load4(const Acc* p)
    {
        if constexpr (sizeof(Acc) == 2)
            return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
        else
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }

    // first × its weight + last × its weight, per lane.
    static __m128i WeighEnds(const Acc* first, const Acc* last, __m128i weights)
    {
        if constexpr (sizeof(Acc) == 2) {
            const __m128i ends = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first)),
                                                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(last)));
            const __m128i low = _mm_mullo_epi16(ends, weights);
            const __m128i high = _mm_mulhi_epu16(ends, weights);
            return _mm_add_epi32(_mm_unpacklo_epi16(low, high), _mm_unpackhi_epi16(low, high));
        } else {
            const __m128i zero = _mm_setzero_si128();
            return _mm_add_epi32(MulLow32(Load4(first), _mm_unpacklo_epi16(weights, zero)),
                                 MulLow32(Load4(last), _mm_unpackhi_epi16(weights, zero)));
        }
    }

    // The low 32 bits of each lane's product.
    static __m128i MulLow32(__m128i a, __m128i b)
    {
        const __m128i even = _mm_mul_epu32(a, b);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
    }

    const AxisPlan& m_cols;
    std::vector<TWeights> m_weights;
    __m128i m_inner;
    __m128i m_total;
    __m128i m_multiplier;
    __m128i m_shift;
};

#endif

template <typename Acc, typename Mid, typename Weight, typename Sum, int Bpp>
void Stretch(const TConstPixelRows& src, const TPixelRows& dst, const AxisPlan& rows, const AxisPlan& cols)
{
    const std::size_t rowLength = static_cast<std::size_t>(src.width) * Bpp;
    std::vector<Acc> acc(rowLength + 1);  // one spare element for VectorColumns
    std::vector<Mid> mid(rowLength);
    const Divider divide(rows.total * cols.total);
    const SumRowsFunction<Acc, Mid, Weight> sumRows = PickSumRows<Acc, Mid, Weight>();
#if defined(__SSE2__)
    constexpr bool kVectorColumns = (Bpp == 3 || Bpp == 4) && sizeof(Acc) <= 4;
    std::optional<VectorColumns<Acc>> vectorColumns;
    if (kVectorColumns && VectorColumns<Acc>::Fits(cols, divide))
        vectorColumns.emplace(cols, divide);
#endif
    for (std::size_t y = 0; y < rows.spans.size(); ++y) {
        std::uint8_t* out = dst.bits + static_cast<std::ptrdiff_t>(y) * dst.stride;
        // Enlarging gives runs of rows made from the same source rows alike.
        if (y > 0 && rows.spans[y] == rows.spans[y - 1]) {
            std::memcpy(out, out - dst.stride, static_cast<std::size_t>(dst.width) * Bpp);
            continue;
        }
        const Span& span = rows.spans[y];
        sumRows(src.bits + static_cast<std::ptrdiff_t>(span.first) * src.stride, src.stride,
                span.count, static_cast<Weight>(span.firstWeight), static_cast<Weight>(rows.inner),
                static_cast<Weight>(span.lastWeight), rowLength, acc.data(), mid.data());
#if defined(__SSE2__)
        if constexpr (kVectorColumns) {
            if (vectorColumns) {
                vectorColumns->template Row<Bpp>(acc.data(), out);
                continue;
            }
        }
#endif
        SumColumns<Acc, Sum, Bpp>(acc.data(), cols, divide, out);
    }
}

template <int Bpp>
void StretchBpp(const TConstPixelRows& src, const TPixelRows& dst, const AxisPlan& rows, const AxisPlan& cols)
{
    // The narrowest types that hold the sums: narrow column sums halve the
    // memory traffic and vector work of the vertical pass.
    const std::uint64_t maxColumnSum = rows.total * 255;
    const bool narrowMid = rows.maxCount <= 259 && rows.inner <= 0xFFFF;
    const bool narrowSums = maxColumnSum * cols.total <= 0xFFFFFFFF;
    using U16 = std::uint16_t;
    using U32 = std::uint32_t;
    using U64 = std::uint64_t;
    if (maxColumnSum <= 0xFFFF)
        narrowSums ? Stretch<U16, U16, U16, U32, Bpp>(src, dst, rows, cols)
                   : Stretch<U16, U16, U16, U64, Bpp>(src, dst, rows, cols);
    else if (maxColumnSum <= 0xFFFFFFFF && narrowMid)
        narrowSums ? Stretch<U32, U16, U16, U32, Bpp>(src, dst, rows, cols)
                   : Stretch<U32, U16, U16, U64, Bpp>(src, dst, rows, cols);
    else if (maxColumnSum <= 0xFFFFFFFF)
        Stretch<U32, U32, U32, U64, Bpp>(src, dst, rows, cols);
    else
        Stretch<U64, U64, U64, U64, Bpp>(src, dst, rows, cols);
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
