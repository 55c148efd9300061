// Old-format (WMF) records converted into an enhanced picture, so that one
// player draws both. The logical coordinates are kept: the picture maps the
// records' window onto its frame with the anisotropic mapping mode, and
// later window records move that mapping as they would on playback. Object
// slots follow the old rule: a new object takes the lowest free index.
// Records the player cannot use (fonts, regions, palettes, escapes) still
// take their slots but draw nothing.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "base/byte_cursor.h"
#include "base/checked_math.h"
#include "platform/gdi/emf_records.h"
#include "platform/gdi/emf_writer.h"
#include "platform/gdi/metafile.h"

namespace scalopex::gdi {

namespace {

[[noreturn]] void Refuse()
{
    throw base::EInvalidGraphic("invalid WMF");
}

struct TWmfRecord {
    std::uint16_t function = 0;
    std::span<const std::uint8_t> params;
};

// Splits the records; sizes under 3 words or past the data refuse the file.
std::vector<TWmfRecord> SplitRecords(std::span<const std::uint8_t> data, std::uint16_t& objects)
{
    base::ByteCursor c(data, &Refuse);
    const std::uint16_t type = c.u16le();
    const std::uint16_t headerWords = c.u16le();
    if ((type != 1 && type != 2) || headerWords != 9)
        Refuse();
    c.skip(2 + 4);  // version, size
    objects = c.u16le();
    c.skip(4 + 2);  // largest record, unused
    std::vector<TWmfRecord> records;
    while (c.remaining() >= 6) {
        const std::uint32_t words = c.u32le();
        const std::uint16_t function = c.u16le();
        if (words < 3 || (words - 3) > c.remaining() / 2)
            Refuse();
        const auto params = c.bytes(static_cast<std::size_t>(words - 3) * 2);
        if (function == wmr::kEof)
            break;
        records.push_back({function, params});
    }
    return records;
}

// The bytes of a packed DIB's header and colour table.
std::uint32_t PackedDibInfoBytes(std::span<const std::uint8_t> dib)
{
    base::ByteCursor c(dib, &Refuse);
    const std::uint32_t headerSize = c.u32le();
    if (headerSize == 12) {
        c.skip(6);
        const std::uint16_t bpp = c.u16le();
        return 12 + (bpp <= 8 ? 3u << bpp : 0u);
    }
    if (headerSize < 40 || headerSize > dib.size())
        Refuse();
    c.skip(10);
    const std::uint16_t bpp = c.u16le();
    const std::uint32_t compression = c.u32le();
    c.skip(12);
    const std::uint32_t clrUsed = c.u32le();
    std::uint64_t bytes = headerSize;
    if (bpp <= 8)
        bytes += 4ull * (clrUsed != 0 && clrUsed <= (1u << std::min<std::uint16_t>(bpp, 8))
                             ? clrUsed
                             : (1u << std::min<std::uint16_t>(bpp, 8)));
    else if (compression == 3 && headerSize == 40)
        bytes += 12;
    else if (clrUsed != 0)
        bytes += 4ull * std::min<std::uint32_t>(clrUsed, 256);
    if (bytes > dib.size())
        Refuse();
    return static_cast<std::uint32_t>(bytes);
}

class TConverter {
public:
    TConverter(std::uint16_t objects, const TScreenMetrics& screen, const TRectL& frame)
        : m_builder(screen, frame), m_slots(std::max<std::size_t>(objects, 1), TKind::Free)
    {}

    void Convert(const std::vector<TWmfRecord>& records)
    {
        for (const auto& r : records) {
            try {
                One(r);
            } catch (const base::ELimitExceeded&) {
                throw;
            } catch (const base::Exception&) {
                // a record shorter than its fields is left out
                m_builder.Abandon();
            }
        }
    }

    TEmfBuilder& Builder() { return m_builder; }

private:
    enum class TKind { Free, Drawable, Other };

    // The lowest free slot, as the old format assigns them; the EMF index
    // is one more (index 0 is the picture itself).
    std::optional<std::uint32_t> Take(TKind kind)
    {
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            if (m_slots[i] == TKind::Free) {
                m_slots[i] = kind;
                m_builder.UseHandle(static_cast<std::uint32_t>(i + 1));
                return static_cast<std::uint32_t>(i + 1);
            }
        return std::nullopt;
    }

    void Dib(std::span<const std::uint8_t> dib, std::uint32_t fixedBytes)
    {
        // Offsets from the record start: fixed fields, then the DIB.
        const std::uint32_t info = PackedDibInfoBytes(dib);
        m_builder.PutU32(fixedBytes);
        m_builder.PutU32(info);
        m_builder.PutU32(fixedBytes + info);
        m_builder.PutU32(static_cast<std::uint32_t>(dib.size() - info));
    }

    // An 8-bit text record with its optional box and advances.
    void Text(std::int32_t x, std::int32_t y, std::uint32_t options, const TRectL& box,
              std::span<const std::uint8_t> text, const std::vector<std::int32_t>& dx)
    {
        TEmfBuilder& b = m_builder;
        const std::uint32_t padded = static_cast<std::uint32_t>((text.size() + 3) / 4 * 4);
        constexpr std::uint32_t kFixed = 76;
        b.Begin(emr::kExtTextOutA);
        for (int k = 0; k < 4; ++k)
            b.PutU32(0);
        b.PutU32(1);  // compatible graphics mode
        b.PutF32(0);
        b.PutF32(0);
        b.PutI32(x);
        b.PutI32(y);
        b.PutU32(static_cast<std::uint32_t>(text.size()));
        b.PutU32(kFixed);
        b.PutU32(options);
        b.PutI32(box.left);
        b.PutI32(box.top);
        b.PutI32(box.right);
        b.PutI32(box.bottom);
        b.PutU32(dx.empty() ? 0 : kFixed + padded);
        b.PutBytes(text);
        const std::uint8_t zeros[4] = {0, 0, 0, 0};
        b.PutBytes({zeros, padded - text.size()});
        for (const auto d : dx)
            b.PutI32(d);
        b.End();
    }

    void One(const TWmfRecord& r)
    {
        base::ByteCursor c(r.params, &Refuse);
        TEmfBuilder& b = m_builder;
        switch (r.function) {
        case wmr::kSetBkMode:
            b.Record(emr::kSetBkMode, {c.u16le()});
            break;
        case wmr::kSetRop2:
            b.Record(emr::kSetRop2, {c.u16le()});
            break;
        case wmr::kSetPolyFillMode:
            b.Record(emr::kSetPolyFillMode, {c.u16le()});
            break;
        case wmr::kSetStretchBltMode:
            b.Record(emr::kSetStretchBltMode, {c.u16le()});
            break;
        case wmr::kSetBkColor:
            b.Record(emr::kSetBkColor, {c.i32le()});
            break;
        case wmr::kSetTextColor:
            b.Record(emr::kSetTextColor, {c.i32le()});
            break;
        case wmr::kSetWindowOrg: {
            const std::int16_t y = c.i16le(), x = c.i16le();
            b.Record(emr::kSetWindowOrgEx, {x, y});
            break;
        }
        case wmr::kSetWindowExt: {
            const std::int16_t y = c.i16le(), x = c.i16le();
            b.Record(emr::kSetWindowExtEx, {x, y});
            break;
        }
        case wmr::kSaveDC:
            b.Record(emr::kSaveDC, {});
            break;
        case wmr::kRestoreDC:
            b.Record(emr::kRestoreDC, {c.i16le()});
            break;
        case wmr::kCreatePenIndirect: {
            const std::uint16_t style = c.u16le();
            const std::int16_t width = c.i16le();
            c.skip(2);
            const std::int32_t color = c.i32le();
            if (const auto i = Take(TKind::Drawable))
                b.Record(emr::kCreatePen, {static_cast<std::int32_t>(*i), style, width, 0, color});
            break;
        }
        case wmr::kCreateBrushIndirect: {
            const std::uint16_t style = c.u16le();
            const std::int32_t color = c.i32le();
            const std::uint16_t hatch = c.u16le();
            if (const auto i = Take(TKind::Drawable))
                b.Record(emr::kCreateBrushIndirect, {static_cast<std::int32_t>(*i), style, color, hatch});
            break;
        }
        case wmr::kDibCreatePatternBrush: {
            c.skip(2);
            const std::uint16_t usage = c.u16le();
            const auto dib = c.rest();
            const auto i = Take(TKind::Drawable);
            if (!i)
                break;
            b.Begin(emr::kCreateDIBPatternBrushPt);
            b.PutU32(*i);
            b.PutU32(usage);
            Dib(dib, 32);
            b.PutBytes(dib);
            b.End();
            break;
        }
        case wmr::kCreateFontIndirect: {
            // The 16-bit LOGFONT becomes the wide one; the face name keeps its bytes.
            const std::int16_t height = c.i16le(), width = c.i16le(), esc = c.i16le(), orient = c.i16le();
            const std::int16_t weight = c.i16le();
            const auto flags = c.bytes(8);
            const auto i = Take(TKind::Drawable);
            if (!i)
                break;
            b.Begin(emr::kExtCreateFontIndirectW);
            b.PutU32(*i);
            for (const std::int32_t v : {std::int32_t{height}, std::int32_t{width}, std::int32_t{esc},
                                         std::int32_t{orient}, std::int32_t{weight}})
                b.PutI32(v);
            b.PutBytes(flags);
            bool ended = false;
            for (int k = 0; k < 32; ++k) {
                const std::uint8_t ch = !ended && c.remaining() > 0 ? c.u8() : 0;
                ended = ended || ch == 0;
                b.PutU16(ended ? 0 : ch);
            }
            b.End();
            break;
        }
        case wmr::kSetTextAlign:
            b.Record(emr::kSetTextAlign, {c.u16le()});
            break;
        case wmr::kTextOut: {
            const std::int16_t count = c.i16le();
            if (count <= 0)
                break;
            const auto text = c.bytes(static_cast<std::size_t>(count));
            if (count % 2)
                c.skip(1);
            const std::int16_t y = c.i16le(), x = c.i16le();
            Text(x, y, 0, {0, 0, 0, 0}, text, {});
            break;
        }
        case wmr::kExtTextOut: {
            const std::int16_t y = c.i16le(), x = c.i16le(), count = c.i16le();
            const std::uint16_t options = c.u16le();
            TRectL box;
            if (options & 0x6) {
                box.left = c.i16le();
                box.top = c.i16le();
                box.right = c.i16le();
                box.bottom = c.i16le();
            }
            if (count < 0)
                break;
            const auto text = c.bytes(static_cast<std::size_t>(count));
            if (count % 2)
                c.skip(1);
            std::vector<std::int32_t> dx;
            if (c.remaining() >= static_cast<std::size_t>(count) * 2)
                for (std::int16_t k = 0; k < count; ++k)
                    dx.push_back(c.i16le());
            Text(x, y, options & 0x16, box, text, dx);
            break;
        }
        case wmr::kCreatePalette:
        case wmr::kCreatePatternBrush:
        case wmr::kCreateRegion:
            Take(TKind::Other);
            break;
        case wmr::kSelectObject: {
            const std::uint16_t i = c.u16le();
            if (i < m_slots.size() && m_slots[i] == TKind::Drawable)
                b.Record(emr::kSelectObject, {i + 1});
            break;
        }
        case wmr::kDeleteObject: {
            const std::uint16_t i = c.u16le();
            if (i < m_slots.size() && m_slots[i] != TKind::Free) {
                if (m_slots[i] == TKind::Drawable)
                    b.Record(emr::kDeleteObject, {i + 1});
                m_slots[i] = TKind::Free;
            }
            break;
        }
        case wmr::kMoveTo: {
            const std::int16_t y = c.i16le(), x = c.i16le();
            b.Record(emr::kMoveToEx, {x, y});
            break;
        }
        case wmr::kLineTo: {
            const std::int16_t y = c.i16le(), x = c.i16le();
            b.Record(emr::kLineTo, {x, y});
            break;
        }
        case wmr::kPolyline:
        case wmr::kPolygon: {
            const std::int16_t count = c.i16le();
            if (count < 0)
                break;
            const auto pts = c.bytes(static_cast<std::size_t>(count) * 4);
            b.Begin(r.function == wmr::kPolygon ? emr::kPolygon16 : emr::kPolyline16);
            for (int k = 0; k < 4; ++k)
                b.PutU32(0);
            b.PutU32(static_cast<std::uint32_t>(count));
            b.PutBytes(pts);
            b.End();
            break;
        }
        case wmr::kPolyPolygon: {
            const std::uint16_t polys = c.u16le();
            std::vector<std::uint32_t> counts(polys);
            std::uint64_t total = 0;
            for (auto& n : counts) {
                n = c.u16le();
                total += n;
            }
            const auto pts = c.bytes(static_cast<std::size_t>(total) * 4);
            b.Begin(emr::kPolyPolygon16);
            for (int k = 0; k < 4; ++k)
                b.PutU32(0);
            b.PutU32(polys);
            b.PutU32(static_cast<std::uint32_t>(total));
            for (const auto n : counts)
                b.PutU32(n);
            b.PutBytes(pts);
            b.End();
            break;
        }
        case wmr::kRectangle:
        case wmr::kEllipse: {
            const std::int16_t bottom = c.i16le(), right = c.i16le(), top = c.i16le(), left = c.i16le();
            b.Record(r.function == wmr::kRectangle ? emr::kRectangle : emr::kEllipse, {left, top, right, bottom});
            break;
        }
        case wmr::kRoundRect: {
            const std::int16_t h = c.i16le(), w = c.i16le();
            const std::int16_t bottom = c.i16le(), right = c.i16le(), top = c.i16le(), left = c.i16le();
            b.Record(emr::kRoundRect, {left, top, right, bottom, w, h});
            break;
        }
        case wmr::kArc:
        case wmr::kChord:
        case wmr::kPie: {
            const std::int16_t ye = c.i16le(), xe = c.i16le(), ys = c.i16le(), xs = c.i16le();
            const std::int16_t bottom = c.i16le(), right = c.i16le(), top = c.i16le(), left = c.i16le();
            const std::uint32_t type = r.function == wmr::kArc     ? emr::kArc
                                       : r.function == wmr::kChord ? emr::kChord
                                                                   : emr::kPie;
            b.Record(type, {left, top, right, bottom, xs, ys, xe, ye});
            break;
        }
        case wmr::kSetPixel: {
            const std::int32_t color = c.i32le();
            const std::int16_t y = c.i16le(), x = c.i16le();
            b.Record(emr::kSetPixelV, {x, y, color});
            break;
        }
        case wmr::kDibBitBlt:
        case wmr::kDibStretchBlt: {
            const bool stretch = r.function == wmr::kDibStretchBlt;
            // Without a source bitmap the record carries one reserved word more.
            const std::size_t plainWords = stretch ? 11 : 9;
            const bool noSource = r.params.size() == plainWords * 2;
            const std::int32_t rop = c.i32le();
            std::int16_t srcH = 0, srcW = 0;
            if (stretch) {
                srcH = c.i16le();
                srcW = c.i16le();
            }
            const std::int16_t ySrc = c.i16le(), xSrc = c.i16le();
            if (noSource)
                c.skip(2);
            const std::int16_t h = c.i16le(), w = c.i16le(), yDest = c.i16le(), xDest = c.i16le();
            if (!stretch) {
                srcW = w;
                srcH = h;
            }
            const auto dib = noSource ? std::span<const std::uint8_t>{} : c.rest();
            constexpr std::uint32_t fixed = 108;
            b.Begin(emr::kStretchBlt);
            for (int k = 0; k < 4; ++k)
                b.PutU32(0);
            b.PutI32(xDest);
            b.PutI32(yDest);
            b.PutI32(w);
            b.PutI32(h);
            b.PutI32(rop);
            b.PutI32(xSrc);
            b.PutI32(ySrc);
            b.PutF32(1);
            b.PutF32(0);
            b.PutF32(0);
            b.PutF32(1);
            b.PutF32(0);
            b.PutF32(0);
            b.PutU32(0);
            b.PutU32(0);
            if (noSource) {
                for (int k = 0; k < 4; ++k)
                    b.PutU32(0);
            } else {
                Dib(dib, fixed);
            }
            b.PutI32(srcW);
            b.PutI32(srcH);
            b.PutBytes(dib);
            b.End();
            break;
        }
        case wmr::kStretchDib: {
            const std::int32_t rop = c.i32le();
            const std::uint16_t usage = c.u16le();
            const std::int16_t srcH = c.i16le(), srcW = c.i16le(), ySrc = c.i16le(), xSrc = c.i16le();
            const std::int16_t h = c.i16le(), w = c.i16le(), yDest = c.i16le(), xDest = c.i16le();
            const auto dib = c.rest();
            b.Begin(emr::kStretchDIBits);
            for (int k = 0; k < 4; ++k)
                b.PutU32(0);
            b.PutI32(xDest);
            b.PutI32(yDest);
            b.PutI32(xSrc);
            b.PutI32(ySrc);
            b.PutI32(srcW);
            b.PutI32(srcH);
            Dib(dib, 80);
            b.PutU32(usage);
            b.PutI32(rop);
            b.PutI32(w);
            b.PutI32(h);
            b.PutBytes(dib);
            b.End();
            break;
        }
        case wmr::kSetDIBToDev: {
            const std::uint16_t usage = c.u16le();
            const std::uint16_t scans = c.u16le(), start = c.u16le();
            const std::int16_t ySrc = c.i16le(), xSrc = c.i16le(), h = c.i16le(), w = c.i16le();
            const std::int16_t yDest = c.i16le(), xDest = c.i16le();
            const auto dib = c.rest();
            b.Begin(emr::kSetDIBitsToDevice);
            for (int k = 0; k < 4; ++k)
                b.PutU32(0);
            b.PutI32(xDest);
            b.PutI32(yDest);
            b.PutI32(xSrc);
            b.PutI32(ySrc);
            b.PutI32(w);
            b.PutI32(h);
            Dib(dib, 76);
            b.PutU32(usage);
            b.PutU32(start);
            b.PutU32(scans);
            b.PutBytes(dib);
            b.End();
            break;
        }
        default:
            break;  // mapping modes, viewports, text, clipping, escapes: not drawn
        }
    }

    TEmfBuilder m_builder;
    std::vector<TKind> m_slots;
};

// The box of what the records draw, in units of the first window the
// records set (later window records are mapped back onto it): right and
// bottom exclusive. Nothing when they draw nothing. Text is not counted: its
// extent depends on fonts the conversion does not load.
class TDrawnBounds {
public:
    TDrawnBounds(double orgX, double orgY, double extX, double extY)
        : m_firstOrgX(orgX), m_firstOrgY(orgY), m_firstExtX(extX), m_firstExtY(extY), m_orgX(orgX), m_orgY(orgY),
          m_extX(extX), m_extY(extY)
    {}

    void Record(const TWmfRecord& r)
    {
        base::ByteCursor c(r.params, &Refuse);
        auto word = [&](std::size_t i) {
            base::ByteCursor w(r.params, &Refuse);
            w.skip(i * 2);
            return static_cast<double>(w.i16le());
        };
        const std::size_t words = r.params.size() / 2;
        switch (r.function) {
        case wmr::kSetWindowOrg:
            m_orgY = word(0);
            m_orgX = word(1);
            break;
        case wmr::kSetWindowExt:
            if (word(0) != 0 && word(1) != 0) {
                m_extY = word(0);
                m_extX = word(1);
            }
            break;
        case wmr::kMoveTo:
            m_curY = word(0);
            m_curX = word(1);
            break;
        case wmr::kLineTo:
            Add(m_curX, m_curY, 1);
            m_curY = word(0);
            m_curX = word(1);
            Add(m_curX, m_curY, 1);
            break;
        case wmr::kSetPixel:
            Add(word(3), word(2), 1);
            break;
        case wmr::kPolyline:
        case wmr::kPolygon: {
            const std::int16_t n = c.i16le();
            for (std::int16_t i = 0; i < n; ++i) {
                const double x = c.i16le(), y = c.i16le();
                Add(x, y, 1);
            }
            break;
        }
        case wmr::kPolyPolygon: {
            const std::uint16_t polys = c.u16le();
            std::uint64_t total = 0;
            for (std::uint16_t i = 0; i < polys; ++i)
                total += c.u16le();
            for (std::uint64_t i = 0; i < total; ++i) {
                const double x = c.i16le(), y = c.i16le();
                Add(x, y, 1);
            }
            break;
        }
        case wmr::kRectangle:
        case wmr::kEllipse:
        case wmr::kRoundRect:
        case wmr::kArc:
        case wmr::kChord:
        case wmr::kPie:
            // The box is the last four words: bottom, right, top, left.
            if (words >= 4) {
                Add(word(words - 1), word(words - 2), 0);
                Add(word(words - 3), word(words - 4), 0);
            }
            break;
        case wmr::kDibBitBlt:
        case wmr::kDibStretchBlt:
        case wmr::kStretchDib:
        case wmr::kSetDIBToDev: {
            // Height, width, y and x of the destination, at a place each layout fixes.
            std::size_t at = 0;
            if (r.function == wmr::kDibBitBlt)
                at = words == 9 ? 5 : 4;
            else if (r.function == wmr::kDibStretchBlt)
                at = words == 11 ? 7 : 6;
            else
                at = r.function == wmr::kStretchDib ? 7 : 5;
            if (words >= at + 4) {
                const double h = word(at), w = word(at + 1), y = word(at + 2), x = word(at + 3);
                Add(x, y, 0);
                Add(x + w, y + h, 0);
            }
            break;
        }
        default:
            break;
        }
    }

    bool Empty() const { return !m_any; }
    // In the first window's units, right and bottom exclusive.
    double left = 0, top = 0, right = 0, bottom = 0;

private:
    // A point in the current window; inclusive points widen the far edges
    // by one unit of the device (here one unit of the first window).
    void Add(double x, double y, double inclusive)
    {
        const double u = m_firstOrgX + (x - m_orgX) * m_firstExtX / m_extX;
        const double v = m_firstOrgY + (y - m_orgY) * m_firstExtY / m_extY;
        if (!m_any) {
            left = right = u;
            top = bottom = v;
            m_any = true;
        }
        left = std::min(left, u);
        top = std::min(top, v);
        right = std::max(right, u + inclusive);
        bottom = std::max(bottom, v + inclusive);
    }

    double m_firstOrgX, m_firstOrgY, m_firstExtX, m_firstExtY;
    double m_orgX, m_orgY, m_extX, m_extY;
    double m_curX = 0, m_curY = 0;
    bool m_any = false;
};

}  // namespace

HENHMETAFILE SetWinMetaFileBits(std::span<const std::uint8_t> records, const TMetaFilePict& pict,
                                const TRectL& fallbackWindow)
{
    try {
        std::uint16_t objects = 0;
        const auto split = SplitRecords(records, objects);

        // The window the records set first; the placeable box otherwise.
        std::int32_t orgX = fallbackWindow.left, orgY = fallbackWindow.top;
        std::int32_t extX = fallbackWindow.right - fallbackWindow.left;
        std::int32_t extY = fallbackWindow.bottom - fallbackWindow.top;
        bool sawOrg = false, sawExt = false;
        for (const auto& r : split) {
            if (r.params.size() < 4)
                continue;
            base::ByteCursor c(r.params);
            if (r.function == wmr::kSetWindowOrg && !sawOrg) {
                orgY = c.i16le();
                orgX = c.i16le();
                sawOrg = true;
            } else if (r.function == wmr::kSetWindowExt && !sawExt) {
                extY = c.i16le();
                extX = c.i16le();
                sawExt = true;
            }
        }
        if (extX == 0 || extY == 0)
            return nullptr;

        const TScreenMetrics& screen = ScreenMetrics();
        if (screen.widthPixels <= 0 || screen.heightPixels <= 0 || screen.widthMillimetres <= 0 ||
            screen.heightMillimetres <= 0)
            return nullptr;

        // The picture's frame is the box of what the records draw (the whole
        // window when they draw nothing), one window unit to a screen pixel;
        // a suggested size scales that frame so its far corner lands there.
        TDrawnBounds drawn(orgX, orgY, extX, extY);
        for (const auto& r : split) {
            try {
                drawn.Record(r);
            } catch (const base::Exception&) {
                // a record too short for its fields draws nothing
            }
        }
        // Window units to screen pixels: the sign of the extent flips the axis.
        const double dirX = extX < 0 ? -1 : 1, dirY = extY < 0 ? -1 : 1;
        double px0 = 0, py0 = 0, px1 = std::abs(extX), py1 = std::abs(extY);
        if (!drawn.Empty()) {
            px0 = (drawn.left - orgX) * dirX;
            px1 = (drawn.right - orgX) * dirX;
            py0 = (drawn.top - orgY) * dirY;
            py1 = (drawn.bottom - orgY) * dirY;
            if (px0 > px1)
                std::swap(px0, px1);
            if (py0 > py1)
                std::swap(py0, py1);
        }
        auto toMmX = [&](double px) { return px * screen.widthMillimetres * 100.0 / screen.widthPixels; };
        auto toMmY = [&](double py) { return py * screen.heightMillimetres * 100.0 / screen.heightPixels; };
        double scaleX = 1, scaleY = 1;
        if (pict.xExt > 0 && pict.yExt > 0) {
            const double farX = toMmX(px1), farY = toMmY(py1);
            if (farX <= 0 || farY <= 0)
                return nullptr;
            scaleX = pict.xExt / farX;
            scaleY = pict.yExt / farY;
        }
        constexpr double kMost = 1 << 30;
        const double fl = std::round(toMmX(px0) * scaleX), ft = std::round(toMmY(py0) * scaleY);
        const double fr = std::round(toMmX(px1) * scaleX), fb = std::round(toMmY(py1) * scaleY);
        const double vx = std::round(std::abs(extX) * scaleX), vy = std::round(std::abs(extY) * scaleY);
        if (!(fr > fl) || !(fb > ft) || !(vx > 0) || !(vy > 0) || std::fabs(fl) > kMost || std::fabs(ft) > kMost ||
            std::fabs(fr) > kMost || std::fabs(fb) > kMost || vx > kMost || vy > kMost)
            return nullptr;
        TRectL frame{static_cast<std::int32_t>(fl), static_cast<std::int32_t>(ft), static_cast<std::int32_t>(fr),
                     static_cast<std::int32_t>(fb)};
        const auto vpX = static_cast<std::int32_t>(vx), vpY = static_cast<std::int32_t>(vy);

        TConverter converter(objects, screen, frame);
        TEmfBuilder& b = converter.Builder();
        b.Record(emr::kSetMapMode, {8});
        b.Record(emr::kSetWindowOrgEx, {orgX, orgY});
        b.Record(emr::kSetWindowExtEx, {extX, extY});
        b.Record(emr::kSetViewportOrgEx, {0, 0});
        b.Record(emr::kSetViewportExtEx, {vpX, vpY});
        converter.Convert(split);
        b.AddBounds({static_cast<std::int32_t>(std::floor(px0 * scaleX)),
                     static_cast<std::int32_t>(std::floor(py0 * scaleY)),
                     static_cast<std::int32_t>(std::ceil(px1 * scaleX)) - 1,
                     static_cast<std::int32_t>(std::ceil(py1 * scaleY)) - 1});
        return SetEnhMetaFileBits(b.Finish());
    } catch (const base::ELimitExceeded&) {
        throw;
    } catch (const base::Exception&) {
        return nullptr;
    }
}

}  // namespace scalopex::gdi
