// The EMF record player. One device-context model (mapping modes, window
// and viewport, world transform, saved states, object table, pens, brushes,
// paths) drives cairo without antialiasing on an image surface over the
// target raster, so edges fall on whole pixels. Blits and raster operations
// cairo cannot express work on the pixels directly. Each record's fields are
// read through a cursor limited to that record; a record that asks for more
// than it holds, or names an object that does not exist, is skipped.

#include "platform/gdi/player.h"

#include <cairo.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "base/byte_cursor.h"
#include "base/checked_math.h"
#include "base/limits.h"
#include "platform/gdi/emf_records.h"
#include "platform/gdi/font_map.h"
#include "platform/gdi/rle.h"

namespace scalopex::gdi {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct TXform {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    void Apply(double x, double y, double& ox, double& oy) const
    {
        ox = m11 * x + m21 * y + dx;
        oy = m12 * x + m22 * y + dy;
    }
    bool Finite() const
    {
        return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) &&
               std::isfinite(dx) && std::isfinite(dy);
    }
    double Det() const { return m11 * m22 - m12 * m21; }
};

// a applied first, then b.
TXform Compose(const TXform& a, const TXform& b)
{
    TXform r;
    r.m11 = a.m11 * b.m11 + a.m12 * b.m21;
    r.m12 = a.m11 * b.m12 + a.m12 * b.m22;
    r.m21 = a.m21 * b.m11 + a.m22 * b.m21;
    r.m22 = a.m21 * b.m12 + a.m22 * b.m22;
    r.dx = a.dx * b.m11 + a.dy * b.m21 + b.dx;
    r.dy = a.dx * b.m12 + a.dy * b.m22 + b.dy;
    return r;
}

// A decoded DIB: 0xAARRGGBB pixels, top row first.
struct TDib {
    int width = 0;
    int height = 0;
    bool bottomUp = true;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

enum class TBrushKind { Solid, Null, Hatched, Pattern };

struct TBrush {
    TBrushKind kind = TBrushKind::Solid;
    std::uint32_t color = 0xFFFFFF;  // 0x00BBGGRR
    std::uint32_t hatch = 0;
    std::shared_ptr<const TDib> pattern;
};

struct TPen {
    std::uint32_t style = 0;
    double width = 0;  // logical units
    std::uint32_t color = 0;
    bool cosmetic = true;
};

constexpr std::uint32_t kPsNull = 5;

struct TObject {
    enum class Kind { Pen, Brush, Font, Other } kind = Kind::Other;
    TPen pen;
    TBrush brush;
    TLogFont font;
};

struct TDcState {
    std::uint32_t mapMode = 1;
    double winOrgX = 0, winOrgY = 0, winExtX = 1, winExtY = 1;
    double vpOrgX = 0, vpOrgY = 0, vpExtX = 1, vpExtY = 1;
    TXform world;
    TPen pen{0, 0, 0, true};
    TBrush brush;
    std::uint32_t bkMode = 2;  // OPAQUE
    std::uint32_t bkColor = 0xFFFFFF;
    std::uint32_t textColor = 0;
    std::uint32_t rop2 = 13;         // R2_COPYPEN
    std::uint32_t fillMode = 1;      // ALTERNATE
    std::uint32_t arcDirection = 1;  // AD_COUNTERCLOCKWISE
    double curX = 0, curY = 0;
    TLogFont font;
    std::uint32_t textAlign = 0;  // TA_LEFT | TA_TOP
    // The clip: one byte per target pixel, non-zero where drawing may land;
    // none when it may land anywhere. Saved states share it.
    std::shared_ptr<const std::vector<std::uint8_t>> clip;
};

std::uint32_t Bgr(std::uint32_t colorref)
{
    return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// ---- DIBs ------------------------------------------------------------------

std::uint32_t MaskShift(std::uint32_t mask)
{
    return mask == 0 ? 0 : static_cast<std::uint32_t>(std::countr_zero(mask));
}

std::uint8_t MaskValue(std::uint32_t v, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    const std::uint32_t bits = static_cast<std::uint32_t>(std::popcount(mask));
    const std::uint32_t raw = (v & mask) >> MaskShift(mask);
    const std::uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(raw) * 255 / max);
}

// Decodes the DIB a record carries; nothing when its fields point outside
// the record or describe something unusable.
std::optional<TDib> ReadDib(std::span<const std::uint8_t> record, std::uint32_t offBmi, std::uint32_t cbBmi,
                            std::uint32_t offBits, std::uint32_t cbBits)
{
    if (offBmi > record.size() || cbBmi > record.size() - offBmi || offBits > record.size() ||
        cbBits > record.size() - offBits || cbBmi < 12)
        return std::nullopt;
    base::ByteCursor h(record.subspan(offBmi, cbBmi));
    const std::uint32_t headerSize = h.u32le();
    std::int64_t width = 0, height = 0;
    std::uint32_t bpp = 0, compression = 0, clrUsed = 0;
    bool core = false;
    if (headerSize == 12) {
        core = true;
        width = h.u16le();
        height = h.i16le();
        h.skip(2);
        bpp = h.u16le();
    } else if (headerSize >= 40 && headerSize <= cbBmi) {
        width = h.i32le();
        height = h.i32le();
        h.skip(2);
        bpp = h.u16le();
        compression = h.u32le();
        h.skip(12);
        clrUsed = h.u32le();
        h.seek(headerSize);
    } else {
        return std::nullopt;
    }
    TDib dib;
    dib.bottomUp = height > 0;
    if (height < 0)
        height = -height;
    if (width <= 0 || height <= 0)
        return std::nullopt;
    base::CheckRasterSize(width, height, 32);
    dib.width = static_cast<int>(width);
    dib.height = static_cast<int>(height);

    std::uint32_t masks[4] = {0, 0, 0, 0};
    if (compression == 3 || compression == 6) {
        if (headerSize >= 52) {
            h.seek(40);
            masks[0] = h.u32le();
            masks[1] = h.u32le();
            masks[2] = h.u32le();
            if (headerSize >= 56)
                masks[3] = h.u32le();
            h.seek(headerSize);
        } else {
            masks[0] = h.u32le();
            masks[1] = h.u32le();
            masks[2] = h.u32le();
        }
    } else if (compression != 0 && !(compression == 1 && bpp == 8) && !(compression == 2 && bpp == 4)) {
        return std::nullopt;
    }

    std::vector<std::uint32_t> colors;
    if (bpp <= 8) {
        if (bpp != 1 && bpp != 4 && bpp != 8)
            return std::nullopt;
        std::size_t count = clrUsed != 0 && clrUsed < (1u << bpp) ? clrUsed : (1u << bpp);
        const std::size_t entry = core ? 3 : 4;
        count = std::min(count, h.remaining() / entry);
        colors.assign(std::size_t{1} << bpp, 0xFF000000);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t b = h.u8(), g = h.u8(), r = h.u8();
            if (!core)
                h.skip(1);
            colors[i] = 0xFF000000 | (r << 16) | (g << 8) | b;
        }
    } else if (bpp == 16 && compression == 0) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else if (bpp == 32 && compression == 0) {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
    } else if (bpp != 24 && bpp != 16 && bpp != 32) {
        return std::nullopt;
    }

    const auto bits = record.subspan(offBits, cbBits);
    const std::size_t w = static_cast<std::size_t>(dib.width);
    const std::size_t hgt = static_cast<std::size_t>(dib.height);
    dib.pixels.assign(w * hgt, 0xFF000000);
    auto destRow = [&](std::size_t stored) { return dib.bottomUp ? hgt - 1 - stored : stored; };

    if (compression == 1 || compression == 2) {
        std::vector<std::uint8_t> indexes(w * hgt, 0);
        TBmpRLEDecoder decoder(static_cast<int>(bpp), dib.width, dib.height, w);
        base::ByteCursor c(bits);
        try {
            decoder.Decode(c, indexes);
        } catch (const base::Exception&) {
            // what was decoded before the fault stays
        }
        for (std::size_t y = 0; y < hgt; ++y)
            for (std::size_t x = 0; x < w; ++x)
                dib.pixels[destRow(y) * w + x] = colors[indexes[y * w + x] & ((1u << bpp) - 1)];
        return dib;
    }

    const std::size_t stride = (base::checkedMul(w, bpp) + 31) / 32 * 4;
    if (base::checkedMul(stride, hgt) > bits.size())
        return std::nullopt;
    bool anyAlpha = false;
    for (std::size_t y = 0; y < hgt; ++y) {
        const std::uint8_t* row = bits.data() + y * stride;
        std::uint32_t* out = &dib.pixels[destRow(y) * w];
        switch (bpp) {
        case 1:
        case 4:
        case 8: {
            const std::uint32_t mask = (1u << bpp) - 1;
            for (std::size_t x = 0; x < w; ++x) {
                const std::size_t bit = x * bpp;
                const std::uint32_t v = (row[bit / 8] >> (8 - bpp - bit % 8)) & mask;
                out[x] = colors[v];
            }
            break;
        }
        case 24:
            for (std::size_t x = 0; x < w; ++x)
                out[x] = 0xFF000000 | (std::uint32_t{row[3 * x + 2]} << 16) | (std::uint32_t{row[3 * x + 1]} << 8) |
                         row[3 * x];
            break;
        case 16:
        case 32:
            for (std::size_t x = 0; x < w; ++x) {
                std::uint32_t v = 0;
                if (bpp == 16)
                    v = std::uint32_t{row[2 * x]} | (std::uint32_t{row[2 * x + 1]} << 8);
                else
                    v = std::uint32_t{row[4 * x]} | (std::uint32_t{row[4 * x + 1]} << 8) |
                        (std::uint32_t{row[4 * x + 2]} << 16) | (std::uint32_t{row[4 * x + 3]} << 24);
                const std::uint32_t a =
                    bpp == 32 && compression == 0 ? (v >> 24) : (masks[3] ? MaskValue(v, masks[3]) : 0xFF);
                if (a != 0)
                    anyAlpha = true;
                out[x] = (a << 24) | (std::uint32_t{MaskValue(v, masks[0])} << 16) |
                         (std::uint32_t{MaskValue(v, masks[1])} << 8) | MaskValue(v, masks[2]);
            }
            break;
        default:
            return std::nullopt;
        }
    }
    // 32-bit DIBs usually leave the fourth byte 0: then it is not alpha.
    if (bpp == 32 && !anyAlpha)
        for (auto& p : dib.pixels)
            p |= 0xFF000000;
    return dib;
}

// ---- raster operations -------------------------------------------------------

// A ternary raster operation on one channel byte: bit (p<<2 | s<<1 | d) of
// the operation's index is the result for those source bits.
inline std::uint8_t Rop3(std::uint8_t index, std::uint8_t p, std::uint8_t s, std::uint8_t d)
{
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (index & (1 << i)) {
            const std::uint8_t pp = (i & 4) ? p : static_cast<std::uint8_t>(~p);
            const std::uint8_t ss = (i & 2) ? s : static_cast<std::uint8_t>(~s);
            const std::uint8_t dd = (i & 1) ? d : static_cast<std::uint8_t>(~d);
            r |= pp & ss & dd;
        }
    return r;
}

// ROP2 codes R2_BLACK (1) .. R2_WHITE (16) on one channel: pen p, destination d.
inline std::uint8_t Rop2(std::uint32_t code, std::uint8_t p, std::uint8_t d)
{
    const std::uint8_t np = static_cast<std::uint8_t>(~p), nd = static_cast<std::uint8_t>(~d);
    switch (code) {
    case 1:
        return 0;
    case 2:
        return static_cast<std::uint8_t>(~(p | d));
    case 3:
        return np & d;
    case 4:
        return np;
    case 5:
        return p & nd;
    case 6:
        return nd;
    case 7:
        return p ^ d;
    case 8:
        return static_cast<std::uint8_t>(~(p & d));
    case 9:
        return p & d;
    case 10:
        return static_cast<std::uint8_t>(~(p ^ d));
    case 11:
        return d;
    case 12:
        return np | d;
    case 13:
        return p;
    case 14:
        return p | nd;
    case 15:
        return p | d;
    case 16:
        return 0xFF;
    default:
        return p;
    }
}

// ---- the player ---------------------------------------------------------------

class TPlayer {
public:
    TPlayer(TPlayTarget& target, const TEnhMetaFile& picture, const TRectL& rect) : m_target(target), m_picture(picture)
    {
        const TEnhMetaHeader& h = picture.Header();
        m_devPerMmX = static_cast<double>(h.szlDevice.cx) / h.szlMillimeters.cx;
        m_devPerMmY = static_cast<double>(h.szlDevice.cy) / h.szlMillimeters.cy;
        m_mmX = h.szlMillimeters.cx;
        m_mmY = h.szlMillimeters.cy;
        m_devX = h.szlDevice.cx;
        m_devY = h.szlDevice.cy;
        // The frame in reference-device pixels, rounded to whole pixels, maps
        // onto the rectangle's pixels.
        const double fx0 = std::round(h.rclFrame.left * m_devPerMmX / 100.0);
        const double fy0 = std::round(h.rclFrame.top * m_devPerMmY / 100.0);
        double fw = std::round(h.rclFrame.right * m_devPerMmX / 100.0) - fx0;
        double fh = std::round(h.rclFrame.bottom * m_devPerMmY / 100.0) - fy0;
        if (fw == 0)
            fw = 1;
        if (fh == 0)
            fh = 1;
        const double sx = static_cast<double>(rect.right) - rect.left;
        const double sy = static_cast<double>(rect.bottom) - rect.top;
        m_base.m11 = sx / fw;
        m_base.m22 = sy / fh;
        m_base.dx = rect.left - fx0 * m_base.m11;
        m_base.dy = rect.top - fy0 * m_base.m22;
        m_handles.resize(std::max<std::size_t>(h.nHandles, 1));
    }

    void Play()
    {
        if (m_target.width <= 0 || m_target.height <= 0)
            return;
        const std::span<const std::uint8_t> bytes(m_picture.Bytes());
        std::size_t pos = 0;
        // Sizes were all checked when the picture was made.
        while (pos + 8 <= bytes.size()) {
            base::ByteCursor head(bytes.subspan(pos, 8));
            const std::uint32_t type = head.u32le();
            const std::uint32_t size = head.u32le();
            if (size < 8 || size > bytes.size() - pos)
                break;
            const auto record = bytes.subspan(pos, size);
            pos += size;
            if (type == emr::kEof)
                break;
            try {
                // The drawing surface is made for the first record that needs
                // it: a picture of plain raster copies is drawn without it.
                if (!m_surface && !StateOnly(type) && !(type == emr::kStretchDIBits && DirectCopy(record)))
                    MakeSurface();
                if (m_surface && m_dc.clip && !StateOnly(type))
                    ClippedDispatch(type, record);
                else if (m_surface)
                    Dispatch(type, record);
                else
                    StateRecord(type, record);
            } catch (const base::ELimitExceeded&) {
                throw;
            } catch (const base::Exception&) {
                // a record that does not hold what it claims is skipped
            }
            if (m_cr && cairo_status(m_cr) != CAIRO_STATUS_SUCCESS)
                NewContext();
        }
        if (!m_surface)
            return;
        cairo_destroy(m_cr);
        m_cr = nullptr;
        cairo_surface_flush(m_surface);
        CopyOut();
        cairo_surface_destroy(m_surface);
        m_surface = nullptr;
    }

    ~TPlayer()
    {
        if (m_path)
            cairo_path_destroy(m_path);
        if (m_cr)
            cairo_destroy(m_cr);
        if (m_surface)
            cairo_surface_destroy(m_surface);
    }
    TPlayer(const TPlayer&) = delete;
    TPlayer& operator=(const TPlayer&) = delete;

private:
    void MakeSurface()
    {
        m_surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, m_target.width, m_target.height);
        if (cairo_surface_status(m_surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(m_surface);
            m_surface = nullptr;
            throw base::EOutOfResources();
        }
        m_data = cairo_image_surface_get_data(m_surface);
        m_stride = static_cast<std::size_t>(cairo_image_surface_get_stride(m_surface));
        CopyIn();
        NewContext();
    }

    // Records that change only the device context's state, never pixels nor
    // the path: they need no drawing surface.
    static bool StateOnly(std::uint32_t type)
    {
        switch (type) {
        case emr::kSetWindowExtEx:
        case emr::kSetWindowOrgEx:
        case emr::kSetViewportExtEx:
        case emr::kSetViewportOrgEx:
        case emr::kSetMapMode:
        case emr::kSetBkMode:
        case emr::kSetPolyFillMode:
        case emr::kSetRop2:
        case emr::kSetStretchBltMode:
        case emr::kSetTextColor:
        case emr::kSetBkColor:
        case emr::kSaveDC:
        case emr::kRestoreDC:
        case emr::kSetWorldTransform:
        case emr::kModifyWorldTransform:
        case emr::kSelectObject:
        case emr::kCreatePen:
        case emr::kCreateBrushIndirect:
        case emr::kDeleteObject:
        case emr::kExtCreatePen:
        case emr::kSetArcDirection:
        case emr::kGdiComment:
        case emr::kHeader:
        case emr::kSetTextAlign:
        case emr::kExtCreateFontIndirectW:
        case emr::kIntersectClipRect:
        case emr::kExcludeClipRect:
        case emr::kExtSelectClipRgn:
        case emr::kOffsetClipRgn:
        case emr::kSetMetaRgn:
            return true;
        default:
            return false;
        }
    }

    // A state record played before the surface exists.
    void StateRecord(std::uint32_t type, std::span<const std::uint8_t> record)
    {
        if (StateOnly(type))
            Dispatch(type, record);
    }

    // A plain copy of an uncompressed 24-bit DIB at its own size onto the
    // raster goes straight from the record's rows into the target's, without
    // a surface. False when the record is not such a copy (it then plays the
    // general way); true when it was drawn.
    bool DirectCopy(std::span<const std::uint8_t> record)
    {
        base::ByteCursor c(record);
        c.skip(8 + 16);
        const std::int32_t xDest = c.i32le(), yDest = c.i32le(), xSrc = c.i32le(), ySrc = c.i32le();
        const std::int32_t cxSrc = c.i32le(), cySrc = c.i32le();
        const std::uint32_t offBmi = c.u32le(), cbBmi = c.u32le(), offBits = c.u32le(), cbBits = c.u32le();
        c.skip(4);
        const std::uint32_t rop = c.u32le();
        const std::int32_t cxDest = c.i32le(), cyDest = c.i32le();
        if (rop != emr::kSrcCopy || cxSrc <= 0 || cySrc <= 0 || cxDest != cxSrc || cyDest != cySrc || xSrc < 0 ||
            ySrc < 0 || m_dc.clip)
            return false;
        if (offBmi > record.size() || cbBmi > record.size() - offBmi || cbBmi < 40 || offBits > record.size() ||
            cbBits > record.size() - offBits)
            return false;
        base::ByteCursor h(record.subspan(offBmi, cbBmi));
        if (h.u32le() < 40)
            return false;
        const std::int32_t width = h.i32le(), height = h.i32le();
        h.skip(2);
        const std::uint16_t bpp = h.u16le();
        const std::uint32_t compression = h.u32le();
        if (bpp != 24 || compression != 0 || width <= 0 || height == 0 || height == INT32_MIN)
            return false;
        const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
        if (static_cast<std::int64_t>(xSrc) + cxSrc > width || static_cast<std::int64_t>(ySrc) + cySrc > rows)
            return false;
        const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
        if (base::checkedMul(stride, static_cast<std::size_t>(rows)) > cbBits)
            return false;
        // Only a mapping that puts one logical unit on one target pixel, upright.
        const TXform t = Full();
        if (!t.Finite() || !AxisAligned(t) || t.m11 != 1 || t.m22 != 1 || t.dx != std::floor(t.dx) ||
            t.dy != std::floor(t.dy))
            return false;
        const double x0 = xDest + t.dx, y0 = yDest + t.dy;
        const auto bits = record.subspan(offBits, cbBits);
        for (std::int32_t r = 0; r < cySrc; ++r) {
            const double ty = y0 + r;
            if (ty < 0 || ty >= m_target.height)
                continue;
            // Source rows counted from the top of the source rectangle.
            const std::int64_t top = height > 0 ? rows - ySrc - cySrc : ySrc;
            const std::int64_t sr = top + r;
            const std::int64_t stored = height > 0 ? rows - 1 - sr : sr;
            const double first = std::max(0.0, x0), last = std::min<double>(m_target.width, x0 + cxSrc);
            if (first >= last)
                continue;
            const std::size_t sx = static_cast<std::size_t>(xSrc + (first - x0));
            const std::uint8_t* from = bits.data() + static_cast<std::size_t>(stored) * stride + sx * 3;
            std::uint8_t* to = m_target.pixels + static_cast<std::ptrdiff_t>(ty) * m_target.stride +
                               static_cast<std::ptrdiff_t>(first) * 3;
            std::memcpy(to, from, static_cast<std::size_t>(last - first) * 3);
        }
        return true;
    }

    void NewContext()
    {
        if (m_cr)
            cairo_destroy(m_cr);
        m_cr = cairo_create(m_surface);
        cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
        if (m_inPath)
            m_inPath = false;
    }

    void CopyIn()
    {
        for (int y = 0; y < m_target.height; ++y) {
            const std::uint8_t* src = m_target.pixels + y * m_target.stride;
            auto* dst = reinterpret_cast<std::uint32_t*>(m_data + static_cast<std::size_t>(y) * m_stride);
            for (int x = 0; x < m_target.width; ++x)
                dst[x] = 0xFF000000 | (std::uint32_t{src[3 * x + 2]} << 16) | (std::uint32_t{src[3 * x + 1]} << 8) |
                         src[3 * x];
        }
        cairo_surface_mark_dirty(m_surface);
    }

    void CopyOut()
    {
        for (int y = 0; y < m_target.height; ++y) {
            std::uint8_t* dst = m_target.pixels + y * m_target.stride;
            const auto* src = reinterpret_cast<const std::uint32_t*>(m_data + static_cast<std::size_t>(y) * m_stride);
            for (int x = 0; x < m_target.width; ++x) {
                dst[3 * x] = static_cast<std::uint8_t>(src[x]);
                dst[3 * x + 1] = static_cast<std::uint8_t>(src[x] >> 8);
                dst[3 * x + 2] = static_cast<std::uint8_t>(src[x] >> 16);
            }
        }
    }

    std::uint32_t* Row(int y)
    {
        return reinterpret_cast<std::uint32_t*>(m_data + static_cast<std::size_t>(y) * m_stride);
    }

    // ---- coordinate spaces ----

    TXform PageXform() const
    {
        const TDcState& s = m_dc;
        double wx = s.winExtX, wy = s.winExtY, vx = s.vpExtX, vy = s.vpExtY;
        auto fixed = [&](double unitsPerMm) {
            wx = m_mmX * unitsPerMm;
            wy = m_mmY * unitsPerMm;
            vx = m_devX;
            vy = -static_cast<double>(m_devY);
        };
        switch (s.mapMode) {
        case 2:
            fixed(10);
            break;
        case 3:
            fixed(100);
            break;
        case 4:
            fixed(100 / 25.4);
            break;
        case 5:
            fixed(1000 / 25.4);
            break;
        case 6:
            fixed(1440 / 25.4);
            break;
        case 7:
        case 8:
            break;
        default:
            wx = wy = vx = vy = 1;
            break;
        }
        double sx = vx / wx, sy = vy / wy;
        if (s.mapMode == 7) {
            const double m = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        TXform p;
        p.m11 = sx;
        p.m22 = sy;
        p.dx = s.vpOrgX - s.winOrgX * sx;
        p.dy = s.vpOrgY - s.winOrgY * sy;
        return p;
    }

    // Logical to target pixels.
    TXform Full() const { return Compose(Compose(m_dc.world, PageXform()), m_base); }

    bool AxisAligned(const TXform& t) const { return t.m12 == 0 && t.m21 == 0; }

    // ---- drawing helpers ----

    void SetSource(std::uint32_t colorref) const
    {
        cairo_set_source_rgb(m_cr, (colorref & 0xFF) / 255.0, ((colorref >> 8) & 0xFF) / 255.0,
                             ((colorref >> 16) & 0xFF) / 255.0);
    }

    bool PenVisible() const { return (m_dc.pen.style & 0xF) != kPsNull; }
    bool BrushVisible() const { return m_dc.brush.kind != TBrushKind::Null; }

    double PenDeviceWidth(const TXform& t) const
    {
        if (m_dc.pen.cosmetic || m_dc.pen.width <= 0)
            return 1;
        const double w = m_dc.pen.width * std::sqrt(std::fabs(t.Det()));
        return std::clamp(std::round(w), 1.0, 65536.0);
    }

    // A path builder in target pixels; offset moves it by half a pixel so a
    // one-pixel stroke covers whole pixels.
    using TPathFn = void (TPlayer::*)(const TXform&, double offset);

    // Runs op (fill or stroke) with the raster operation in force: plain
    // copies go straight to the surface, others through a mask.
    template <typename Op>
    void WithRop2(std::uint32_t colorref, Op op)
    {
        const std::uint32_t rop = m_dc.rop2;
        if (rop == 13) {
            SetSource(colorref);
            op();
            return;
        }
        if (rop == 11)
            return;
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, m_target.width, m_target.height);
        cairo_t* saved = m_cr;
        m_cr = cairo_create(mask);
        cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_source_rgb(m_cr, 0, 0, 0);
        op();
        cairo_destroy(m_cr);
        m_cr = saved;
        cairo_surface_flush(mask);
        cairo_surface_flush(m_surface);
        const std::uint8_t* md = cairo_image_surface_get_data(mask);
        const std::size_t ms = static_cast<std::size_t>(cairo_image_surface_get_stride(mask));
        const std::uint8_t pr = static_cast<std::uint8_t>(colorref), pg = static_cast<std::uint8_t>(colorref >> 8),
                           pb = static_cast<std::uint8_t>(colorref >> 16);
        for (int y = 0; y < m_target.height; ++y) {
            const std::uint8_t* mrow = md + static_cast<std::size_t>(y) * ms;
            std::uint32_t* row = Row(y);
            for (int x = 0; x < m_target.width; ++x) {
                if (mrow[x] == 0)
                    continue;
                const std::uint32_t d = row[x];
                row[x] = 0xFF000000 | (std::uint32_t{Rop2(rop, pr, static_cast<std::uint8_t>(d >> 16))} << 16) |
                         (std::uint32_t{Rop2(rop, pg, static_cast<std::uint8_t>(d >> 8))} << 8) |
                         Rop2(rop, pb, static_cast<std::uint8_t>(d));
            }
        }
        cairo_surface_mark_dirty(m_surface);
        cairo_surface_destroy(mask);
    }

    void ApplyFillRule() const
    {
        cairo_set_fill_rule(m_cr, m_dc.fillMode == 2 ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    }

    void SetBrushSource()
    {
        const TBrush& b = m_dc.brush;
        if (b.kind == TBrushKind::Pattern && b.pattern) {
            const TDib& d = *b.pattern;
            cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, d.width, d.height);
            if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
                std::uint8_t* data = cairo_image_surface_get_data(s);
                const std::size_t st = static_cast<std::size_t>(cairo_image_surface_get_stride(s));
                for (int y = 0; y < d.height; ++y)
                    std::memcpy(data + static_cast<std::size_t>(y) * st,
                                &d.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(d.width)],
                                static_cast<std::size_t>(d.width) * 4);
                cairo_surface_mark_dirty(s);
                cairo_pattern_t* p = cairo_pattern_create_for_surface(s);
                cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
                cairo_set_source(m_cr, p);
                cairo_pattern_destroy(p);
            }
            cairo_surface_destroy(s);
            return;
        }
        if (b.kind == TBrushKind::Hatched) {
            // An 8 x 8 tile: the background (when opaque) and the hatch lines.
            cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
            std::uint8_t* data = cairo_image_surface_get_data(s);
            const std::size_t st = static_cast<std::size_t>(cairo_image_surface_get_stride(s));
            const std::uint32_t fg = 0xFF000000 | Bgr(b.color);
            const std::uint32_t bg = m_dc.bkMode == 2 ? (0xFF000000 | Bgr(m_dc.bkColor)) : 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    bool on = false;
                    switch (b.hatch) {
                    case 0:
                        on = y == 7;
                        break;
                    case 1:
                        on = x == 7;
                        break;
                    case 2:
                        on = x == y;
                        break;
                    case 3:
                        on = x == 7 - y;
                        break;
                    case 4:
                        on = x == 7 || y == 7;
                        break;
                    default:
                        on = x == y || x == 7 - y;
                        break;
                    }
                    reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * st)[x] = on ? fg : bg;
                }
            cairo_surface_mark_dirty(s);
            cairo_pattern_t* p = cairo_pattern_create_for_surface(s);
            cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
            cairo_set_source(m_cr, p);
            cairo_pattern_destroy(p);
            cairo_surface_destroy(s);
            return;
        }
        SetSource(b.color);
    }

    void FillCurrent()
    {
        ApplyFillRule();
        if (m_dc.rop2 == 13 && m_dc.brush.kind != TBrushKind::Solid) {
            SetBrushSource();
            cairo_fill(m_cr);
            return;
        }
        cairo_path_t* path = cairo_copy_path(m_cr);
        cairo_new_path(m_cr);
        WithRop2(m_dc.brush.color, [&] {
            cairo_append_path(m_cr, path);
            ApplyFillRule();
            cairo_fill(m_cr);
        });
        cairo_path_destroy(path);
    }

    void StrokeCurrent(const TXform& t)
    {
        const double w = PenDeviceWidth(t);
        cairo_path_t* path = cairo_copy_path(m_cr);
        cairo_new_path(m_cr);
        const std::uint32_t style = m_dc.pen.style;
        WithRop2(m_dc.pen.color, [&] {
            cairo_append_path(m_cr, path);
            cairo_set_line_width(m_cr, w);
            if (w <= 1.5) {
                cairo_set_line_cap(m_cr, CAIRO_LINE_CAP_BUTT);
                cairo_set_line_join(m_cr, CAIRO_LINE_JOIN_MITER);
            } else {
                const std::uint32_t cap = style & 0xF00, join = style & 0xF000;
                cairo_set_line_cap(m_cr, cap == 0x100   ? CAIRO_LINE_CAP_SQUARE
                                         : cap == 0x200 ? CAIRO_LINE_CAP_BUTT
                                                        : CAIRO_LINE_CAP_ROUND);
                cairo_set_line_join(m_cr, join == 0x1000   ? CAIRO_LINE_JOIN_BEVEL
                                          : join == 0x2000 ? CAIRO_LINE_JOIN_MITER
                                                           : CAIRO_LINE_JOIN_ROUND);
            }
            const double u = std::max(1.0, w <= 1.5 ? 1.0 : w);
            const double dash[] = {18 * u, 6 * u};
            const double dot[] = {3 * u, 3 * u};
            const double dashDot[] = {9 * u, 6 * u, 3 * u, 6 * u};
            const double dashDotDot[] = {9 * u, 3 * u, 3 * u, 3 * u, 3 * u, 3 * u};
            switch (style & 0xF) {
            case 1:
                cairo_set_dash(m_cr, dash, 2, 0);
                break;
            case 2:
                cairo_set_dash(m_cr, dot, 2, 0);
                break;
            case 3:
                cairo_set_dash(m_cr, dashDot, 4, 0);
                break;
            case 4:
                cairo_set_dash(m_cr, dashDotDot, 6, 0);
                break;
            default:
                cairo_set_dash(m_cr, nullptr, 0, 0);
                break;
            }
            cairo_stroke(m_cr);
            cairo_set_dash(m_cr, nullptr, 0, 0);
        });
        cairo_path_destroy(path);
    }

    double StrokeOffset(const TXform& t) const
    {
        return static_cast<long long>(PenDeviceWidth(t)) % 2 == 1 ? 0.5 : 0.0;
    }

    // Draws a closed or open figure: fill (with the path unshifted) and
    // stroke (shifted to pixel centres). Inside a path bracket only the
    // path grows.
    template <typename Build>
    void Shape(bool fill, bool stroke, Build build)
    {
        const TXform t = Full();
        if (!t.Finite())
            return;
        if (m_inPath) {
            build(t, 0.0, true);
            return;
        }
        if (fill && BrushVisible()) {
            cairo_new_path(m_cr);
            build(t, 0.0, !(stroke && PenVisible()));
            FillCurrent();
        }
        if (stroke && PenVisible()) {
            cairo_new_path(m_cr);
            build(t, StrokeOffset(t), true);
            StrokeCurrent(t);
        }
        cairo_new_path(m_cr);
    }

    void Point(const TXform& t, double x, double y, double off, double& ox, double& oy) const
    {
        t.Apply(x, y, ox, oy);
        ox += off;
        oy += off;
    }

    // The box of a rectangle-like shape in target pixels; the right and
    // bottom edges are left out, as the records define them.
    struct TBox {
        double x0, y0, x1, y1;
    };
    TBox Box(const TXform& t, double l, double tp, double r, double b, double off, bool nullPenShrink) const
    {
        double x0, y0, x1, y1;
        t.Apply(l, tp, x0, y0);
        t.Apply(r, b, x1, y1);
        if (x0 > x1)
            std::swap(x0, x1);
        if (y0 > y1)
            std::swap(y0, y1);
        if (off != 0.0) {
            x1 -= 1;
            y1 -= 1;
            x0 += off;
            y0 += off;
            x1 += off;
            y1 += off;
        } else if (nullPenShrink && !PenVisible()) {
            x1 -= 1;
            y1 -= 1;
        }
        return {x0, y0, x1, y1};
    }

    void EllipsePath(const TBox& b) const
    {
        const double cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
        const double rx = (b.x1 - b.x0) / 2, ry = (b.y1 - b.y0) / 2;
        if (rx <= 0 || ry <= 0)
            return;
        cairo_save(m_cr);
        cairo_translate(m_cr, cx, cy);
        cairo_scale(m_cr, rx, ry);
        cairo_new_sub_path(m_cr);
        cairo_arc(m_cr, 0, 0, 1, 0, 2 * kPi);
        cairo_close_path(m_cr);
        cairo_restore(m_cr);
    }

    // An elliptical arc of the box from the radial through (sx, sy) to the
    // radial through (ex, ey), in target pixels, in the arc direction.
    enum class TArcKind { Open, Chord, Pie };
    void ArcPath(const TXform& t, const TBox& b, double sx, double sy, double ex, double ey, TArcKind kind, double off,
                 bool lineFromCurrent)
    {
        const double cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
        const double rx = (b.x1 - b.x0) / 2, ry = (b.y1 - b.y0) / 2;
        if (rx <= 0 || ry <= 0)
            return;
        double psx, psy, pex, pey;
        Point(t, sx, sy, off, psx, psy);
        Point(t, ex, ey, off, pex, pey);
        const double a0 = std::atan2((psy - cy) / ry, (psx - cx) / rx);
        double a1 = std::atan2((pey - cy) / ry, (pex - cx) / rx);
        // Counter-clockwise in logical space; a mirrored mapping turns it.
        bool ccw = m_dc.arcDirection != 2;
        if (t.Det() < 0)
            ccw = !ccw;
        if (kind == TArcKind::Pie) {
            cairo_move_to(m_cr, cx, cy);
        }
        cairo_save(m_cr);
        cairo_translate(m_cr, cx, cy);
        cairo_scale(m_cr, rx, ry);
        if (kind != TArcKind::Pie && !lineFromCurrent)
            cairo_new_sub_path(m_cr);
        // On screen (y down) counter-clockwise means decreasing angles, and
        // equal radials draw the whole ellipse.
        if (ccw) {
            if (a1 >= a0)
                a1 -= 2 * kPi;
            cairo_arc_negative(m_cr, 0, 0, 1, a0, a1);
        } else {
            if (a1 <= a0)
                a1 += 2 * kPi;
            cairo_arc(m_cr, 0, 0, 1, a0, a1);
        }
        cairo_restore(m_cr);
        if (kind != TArcKind::Open)
            cairo_close_path(m_cr);
    }

    // ---- text ----

    void TextRecord(bool wide, std::span<const std::uint8_t> record, base::ByteCursor& c)
    {
        c.skip(16 + 12);  // bounds, graphics mode, scales
        const double refX = c.i32le(), refY = c.i32le();
        const std::uint32_t count = c.u32le(), offString = c.u32le(), options = c.u32le();
        const double rl = c.i32le(), rt = c.i32le(), rr = c.i32le(), rb = c.i32le();
        const std::uint32_t offDx = c.u32le();
        const std::size_t unit = wide ? 2 : 1;
        if (count == 0 && !(options & kEtoOpaque))
            return;
        if (offString > record.size() || count > (record.size() - offString) / unit)
            return;
        std::vector<std::uint32_t> codes(count);
        base::ByteCursor sc(record.subspan(offString, count * unit));
        for (auto& code : codes)
            code = wide ? sc.u16le() : sc.u8();
        // Glyph advances: one per character, or x and y pairs.
        const bool pairs = (options & kEtoPdy) != 0;
        std::vector<double> dx, dy;
        const std::size_t dxBytes = static_cast<std::size_t>(count) * (pairs ? 8 : 4);
        if (offDx != 0 && offDx <= record.size() && dxBytes <= record.size() - offDx) {
            base::ByteCursor dc(record.subspan(offDx, dxBytes));
            for (std::uint32_t i = 0; i < count; ++i) {
                dx.push_back(dc.i32le());
                dy.push_back(pairs ? dc.i32le() : 0);
            }
        }
        DrawText(refX, refY, codes, (options & kEtoGlyphIndex) != 0, dx, dy, options, rl, rt, rr, rb);
    }

    static constexpr std::uint32_t kEtoOpaque = 0x2, kEtoClipped = 0x4, kEtoGlyphIndex = 0x10, kEtoPdy = 0x2000;

    // Fills a box of target pixels (right and bottom left out) with a colour.
    void FillDeviceBox(double x0, double y0, double x1, double y1, std::uint32_t colorref)
    {
        if (x0 > x1)
            std::swap(x0, x1);
        if (y0 > y1)
            std::swap(y0, y1);
        cairo_new_path(m_cr);
        cairo_rectangle(m_cr, x0, y0, x1 - x0, y1 - y0);
        SetSource(colorref);
        cairo_fill(m_cr);
    }

    void DrawText(double refX, double refY, const std::vector<std::uint32_t>& codes, bool glyphIndexes,
                  const std::vector<double>& dx, const std::vector<double>& dy, std::uint32_t options, double rl,
                  double rt, double rr, double rb)
    {
        const TXform t = Full();
        if (!t.Finite())
            return;
        const double sx = std::hypot(t.m11, t.m12), sy = std::hypot(t.m21, t.m22);
        double bx0, by0, bx1, by1;
        t.Apply(rl, rt, bx0, by0);
        t.Apply(rr, rb, bx1, by1);
        const bool boxUsable = std::isfinite(bx0) && std::isfinite(by0) && std::isfinite(bx1) && std::isfinite(by1);
        if ((options & kEtoOpaque) && boxUsable)
            FillDeviceBox(bx0, by0, bx1, by1, m_dc.bkColor);
        if (codes.empty())
            return;

        const TLogFont& f = m_dc.font;
        cairo_save(m_cr);
        cairo_new_path(m_cr);
        if ((options & kEtoClipped) && boxUsable) {
            cairo_rectangle(m_cr, std::min(bx0, bx1), std::min(by0, by1), std::fabs(bx1 - bx0), std::fabs(by1 - by0));
            cairo_clip(m_cr);
        }
        const std::string family = MappedFamily(f.faceName);
        cairo_select_font_face(m_cr, family.c_str(), f.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                               f.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_font_options_t* fo = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
        cairo_set_font_options(m_cr, fo);
        cairo_font_options_destroy(fo);
        cairo_set_font_size(m_cr, 1);
        cairo_font_extents_t unitExtents;
        cairo_font_extents(m_cr, &unitExtents);
        const double cell = unitExtents.ascent + unitExtents.descent;
        // A positive height is the cell's, a negative one the em's.
        const double em = f.height < 0               ? -static_cast<double>(f.height)
                          : f.height > 0 && cell > 0 ? f.height / cell
                                                     : 12.0;
        const double emY = em * sy;
        double emX = emY;
        if (f.width > 0) {
            cairo_text_extents_t sample;
            cairo_text_extents(m_cr, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", &sample);
            if (sample.x_advance > 0)
                emX = f.width * sx / (sample.x_advance / 52);
        }
        if (!(emY > 0.1) || emY > 100000 || !(emX > 0.1) || emX > 100000) {
            cairo_restore(m_cr);
            return;
        }
        double ox, oy;
        const bool updateCp = (m_dc.textAlign & 1) != 0;
        t.Apply(updateCp ? m_dc.curX : refX, updateCp ? m_dc.curY : refY, ox, oy);
        if (!std::isfinite(ox) || !std::isfinite(oy) || std::fabs(ox) > 1e7 || std::fabs(oy) > 1e7) {
            cairo_restore(m_cr);
            return;
        }
        cairo_translate(m_cr, ox, oy);
        // The escapement turns the baseline counter-clockwise as seen.
        cairo_rotate(m_cr, -f.escapement * kPi / 1800.0);
        cairo_matrix_t fm;
        cairo_matrix_init(&fm, emX, 0, 0, emY, 0, 0);
        cairo_set_font_matrix(m_cr, &fm);
        cairo_scaled_font_t* font = cairo_get_scaled_font(m_cr);
        cairo_font_extents_t fe;
        cairo_scaled_font_extents(font, &fe);

        // One glyph per character, placed by its advance or the given one.
        std::vector<cairo_glyph_t> glyphs;
        glyphs.reserve(codes.size());
        double pen = 0, rise = 0;
        for (std::size_t i = 0; i < codes.size(); ++i) {
            cairo_glyph_t g{0, pen, -rise};
            bool have = false;
            if (glyphIndexes) {
                g.index = codes[i];
                have = true;
            } else {
                std::uint32_t cp = codes[i];
                std::size_t used = 1;
                if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < codes.size() && codes[i + 1] >= 0xDC00 &&
                    codes[i + 1] < 0xE000) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (codes[i + 1] - 0xDC00);
                    used = 2;
                }
                const std::uint16_t units[2] = {static_cast<std::uint16_t>(codes[i]),
                                                static_cast<std::uint16_t>(used == 2 ? codes[i + 1] : 0)};
                const std::string utf8 = Utf16ToUtf8({units, used});
                cairo_glyph_t* found = nullptr;
                int n = 0;
                if (cairo_scaled_font_text_to_glyphs(font, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &found, &n,
                                                     nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
                    n > 0) {
                    g.index = found[0].index;
                    have = true;
                }
                cairo_glyph_free(found);
                if (used == 2 && dx.empty())
                    ++i;
            }
            double advance = 0;
            if (!dx.empty()) {
                advance = dx[i] * sx;
                rise += dy[i] * sy;
            } else if (have) {
                cairo_text_extents_t e;
                cairo_scaled_font_glyph_extents(font, &g, 1, &e);
                advance = e.x_advance;
            }
            if (have && codes[i] != 0)
                glyphs.push_back(g);
            pen += advance;
        }
        const double width = pen;
        const std::uint32_t h = m_dc.textAlign & 6, v = m_dc.textAlign & 24;
        const double shiftX = h == 2 ? -width : h == 6 ? -width / 2 : 0;
        const double shiftY = v == 24 ? 0 : v == 8 ? -fe.descent : fe.ascent;
        for (auto& g : glyphs) {
            g.x += shiftX;
            g.y += shiftY;
        }
        if (m_dc.bkMode == 2 && !(options & kEtoOpaque)) {
            cairo_rectangle(m_cr, shiftX, shiftY - fe.ascent, width, fe.ascent + fe.descent);
            SetSource(m_dc.bkColor);
            cairo_fill(m_cr);
        }
        SetSource(m_dc.textColor);
        cairo_show_glyphs(m_cr, glyphs.data(), static_cast<int>(glyphs.size()));
        const double thick = std::max(1.0, std::round(emY / 14));
        if (f.underline) {
            cairo_rectangle(m_cr, shiftX, shiftY + std::max(1.0, std::round(fe.descent / 2)) - thick / 2, width, thick);
            cairo_fill(m_cr);
        }
        if (f.strikeOut) {
            cairo_rectangle(m_cr, shiftX, shiftY - std::round(emY * 0.27) - thick / 2, width, thick);
            cairo_fill(m_cr);
        }
        cairo_restore(m_cr);
        if (updateCp && sx > 0) {
            // The current position moves along the text by its width.
            const double logical = width / sx * (t.m11 < 0 ? -1 : 1);
            m_dc.curX += h == 2 ? -logical : h == 6 ? 0 : logical;
        }
    }

    // ---- clipping ----

    // A drawing record under a clip: pixels outside it get their old values back.
    void ClippedDispatch(std::uint32_t type, std::span<const std::uint8_t> record)
    {
        cairo_surface_flush(m_surface);
        const std::size_t bytes = m_stride * static_cast<std::size_t>(m_target.height);
        m_before.assign(m_data, m_data + bytes);
        const auto clip = m_dc.clip;
        Dispatch(type, record);
        cairo_surface_flush(m_surface);
        const std::size_t w = static_cast<std::size_t>(m_target.width);
        for (int y = 0; y < m_target.height; ++y) {
            const std::uint8_t* inside = clip->data() + static_cast<std::size_t>(y) * w;
            auto* row = Row(y);
            const auto* old =
                reinterpret_cast<const std::uint32_t*>(m_before.data() + static_cast<std::size_t>(y) * m_stride);
            for (std::size_t x = 0; x < w; ++x)
                if (!inside[x])
                    row[x] = old[x];
        }
        cairo_surface_mark_dirty(m_surface);
    }

    std::size_t PixelCount() const
    {
        return static_cast<std::size_t>(m_target.width) * static_cast<std::size_t>(m_target.height);
    }

    // Marks the target pixels whose centres lie in the box (device pixels).
    void MarkBox(std::vector<std::uint8_t>& mask, double x0, double y0, double x1, double y1) const
    {
        if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
            return;
        if (x0 > x1)
            std::swap(x0, x1);
        if (y0 > y1)
            std::swap(y0, y1);
        const int px0 = static_cast<int>(std::clamp(std::ceil(x0 - 0.5), 0.0, static_cast<double>(m_target.width)));
        const int px1 = static_cast<int>(std::clamp(std::ceil(x1 - 0.5), 0.0, static_cast<double>(m_target.width)));
        const int py0 = static_cast<int>(std::clamp(std::ceil(y0 - 0.5), 0.0, static_cast<double>(m_target.height)));
        const int py1 = static_cast<int>(std::clamp(std::ceil(y1 - 0.5), 0.0, static_cast<double>(m_target.height)));
        const std::size_t w = static_cast<std::size_t>(m_target.width);
        for (int y = py0; y < py1; ++y)
            std::fill_n(mask.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * w +
                                                                   static_cast<std::size_t>(px0)),
                        px1 - px0, std::uint8_t{1});
    }

    // Combines region with the clip: 1 AND, 2 OR, 3 XOR, 4 DIFF, 5 COPY.
    void CombineClip(std::uint32_t mode, std::vector<std::uint8_t> region)
    {
        if (mode < 1 || mode > 5)
            return;
        if (mode != 5) {
            const std::vector<std::uint8_t> all(m_dc.clip ? 0 : PixelCount(), 1);
            const std::vector<std::uint8_t>& old = m_dc.clip ? *m_dc.clip : all;
            for (std::size_t i = 0; i < region.size(); ++i) {
                const bool a = old[i] != 0, b = region[i] != 0;
                region[i] = mode == 1 ? (a && b) : mode == 2 ? (a || b) : mode == 3 ? (a != b) : (a && !b);
            }
        }
        m_dc.clip = std::make_shared<const std::vector<std::uint8_t>>(std::move(region));
    }

    void ClipRectRecord(bool intersect, base::ByteCursor& c)
    {
        const double l = c.i32le(), tp = c.i32le(), r = c.i32le(), b = c.i32le();
        const TXform t = Full();
        if (!t.Finite() || !AxisAligned(t))
            return;
        double x0, y0, x1, y1;
        t.Apply(l, tp, x0, y0);
        t.Apply(r, b, x1, y1);
        std::vector<std::uint8_t> region(PixelCount(), 0);
        MarkBox(region, x0, y0, x1, y1);
        CombineClip(intersect ? 1 : 4, std::move(region));
    }

    // EXTSELECTCLIPRGN: a region of rectangles in device units, or none
    // with RGN_COPY for the default clip.
    void SelectClipRegion(base::ByteCursor& c)
    {
        const std::uint32_t cb = c.u32le(), mode = c.u32le();
        if (cb < 32) {
            if (mode == 5)
                m_dc.clip.reset();
            return;
        }
        c.skip(8);
        const std::uint32_t count = c.u32le();
        c.skip(4 + 16);
        c.require(static_cast<std::size_t>(count) * 16);
        std::vector<std::uint8_t> region(PixelCount(), 0);
        for (std::uint32_t i = 0; i < count; ++i) {
            const double l = c.i32le(), tp = c.i32le(), r = c.i32le(), b = c.i32le();
            double x0, y0, x1, y1;
            m_base.Apply(l, tp, x0, y0);
            m_base.Apply(r, b, x1, y1);
            MarkBox(region, x0, y0, x1, y1);
        }
        CombineClip(mode, std::move(region));
    }

    void OffsetClip(base::ByteCursor& c)
    {
        const double lx = c.i32le(), ly = c.i32le();
        if (!m_dc.clip)
            return;
        const TXform t = Full();
        const double dx = std::round(lx * t.m11 + ly * t.m21), dy = std::round(lx * t.m12 + ly * t.m22);
        if (!std::isfinite(dx) || !std::isfinite(dy))
            return;
        const std::vector<std::uint8_t>& old = *m_dc.clip;
        std::vector<std::uint8_t> moved(PixelCount(), 0);
        const long w = m_target.width, h = m_target.height;
        for (long y = 0; y < h; ++y) {
            const double sy = y - dy;
            if (sy < 0 || sy >= h)
                continue;
            for (long x = 0; x < w; ++x) {
                const double sx = x - dx;
                if (sx >= 0 && sx < w)
                    moved[static_cast<std::size_t>(y * w + x)] =
                        old[static_cast<std::size_t>(static_cast<long>(sy) * w + static_cast<long>(sx))];
            }
        }
        m_dc.clip = std::make_shared<const std::vector<std::uint8_t>>(std::move(moved));
    }

    // SELECTCLIPPATH: the closed path's inside, combined by mode.
    void SelectClipPath(std::uint32_t mode)
    {
        if (!m_path || m_inPath)
            return;
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, m_target.width, m_target.height);
        cairo_t* cr = cairo_create(mask);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_append_path(cr, m_path);
        cairo_set_fill_rule(cr, m_dc.fillMode == 2 ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_flush(mask);
        std::vector<std::uint8_t> region(PixelCount(), 0);
        const std::uint8_t* md = cairo_image_surface_get_data(mask);
        const std::size_t ms = static_cast<std::size_t>(cairo_image_surface_get_stride(mask));
        const std::size_t w = static_cast<std::size_t>(m_target.width);
        if (md)
            for (int y = 0; y < m_target.height; ++y)
                for (std::size_t x = 0; x < w; ++x)
                    region[static_cast<std::size_t>(y) * w + x] = md[static_cast<std::size_t>(y) * ms + x] != 0;
        cairo_surface_destroy(mask);
        cairo_path_destroy(m_path);
        m_path = nullptr;
        CombineClip(mode, std::move(region));
    }

    // ---- records ----

    static TXform ReadXform(base::ByteCursor& c)
    {
        TXform x;
        x.m11 = std::bit_cast<float>(c.u32le());
        x.m12 = std::bit_cast<float>(c.u32le());
        x.m21 = std::bit_cast<float>(c.u32le());
        x.m22 = std::bit_cast<float>(c.u32le());
        x.dx = std::bit_cast<float>(c.u32le());
        x.dy = std::bit_cast<float>(c.u32le());
        return x;
    }

    static bool UsableXform(const TXform& x) { return x.Finite() && x.Det() != 0 && std::isfinite(x.Det()); }

    std::vector<std::pair<double, double>> ReadPoints(base::ByteCursor& c, std::uint32_t count, bool small) const
    {
        // A count beyond what the record holds refuses the record.
        c.require(static_cast<std::size_t>(count) * (small ? 4 : 8));
        std::vector<std::pair<double, double>> pts(count);
        for (auto& p : pts) {
            if (small) {
                p.first = c.i16le();
                p.second = c.i16le();
            } else {
                p.first = c.i32le();
                p.second = c.i32le();
            }
        }
        return pts;
    }

    void Poly(std::uint32_t type, base::ByteCursor& c)
    {
        const bool small = type >= emr::kPolyBezier16;
        const std::uint32_t base = small ? type - emr::kPolyBezier16 + emr::kPolyBezier : type;
        c.skip(16);  // bounds
        const std::uint32_t count = c.u32le();
        const auto pts = ReadPoints(c, count, small);
        if (pts.empty())
            return;
        const bool closed = base == emr::kPolygon;
        const bool bezier = base == emr::kPolyBezier || base == emr::kPolyBezierTo;
        const bool fromCurrent = base == emr::kPolyBezierTo || base == emr::kPolylineTo;
        if (bezier && (pts.size() - (fromCurrent ? 0 : 1)) % 3 != 0)
            return;
        const double cx = m_dc.curX, cy = m_dc.curY;
        Shape(closed, true, [&](const TXform& t, double off, bool) {
            double x, y;
            std::size_t i = 0;
            if (fromCurrent) {
                Point(t, cx, cy, off, x, y);
            } else {
                Point(t, pts[0].first, pts[0].second, off, x, y);
                i = 1;
            }
            if (m_inPath && fromCurrent && cairo_has_current_point(m_cr))
                cairo_line_to(m_cr, x, y);
            else
                cairo_move_to(m_cr, x, y);
            if (bezier) {
                for (; i + 2 < pts.size() + 0; i += 3) {
                    double x1, y1, x2, y2, x3, y3;
                    Point(t, pts[i].first, pts[i].second, off, x1, y1);
                    Point(t, pts[i + 1].first, pts[i + 1].second, off, x2, y2);
                    Point(t, pts[i + 2].first, pts[i + 2].second, off, x3, y3);
                    cairo_curve_to(m_cr, x1, y1, x2, y2, x3, y3);
                }
            } else {
                for (; i < pts.size(); ++i) {
                    Point(t, pts[i].first, pts[i].second, off, x, y);
                    cairo_line_to(m_cr, x, y);
                }
            }
            if (closed)
                cairo_close_path(m_cr);
        });
        if (fromCurrent) {
            m_dc.curX = pts.back().first;
            m_dc.curY = pts.back().second;
        }
    }

    void PolyPoly(std::uint32_t type, base::ByteCursor& c)
    {
        const bool small = type == emr::kPolyPolyline16 || type == emr::kPolyPolygon16;
        const bool closed = type == emr::kPolyPolygon || type == emr::kPolyPolygon16;
        c.skip(16);
        const std::uint32_t polys = c.u32le();
        const std::uint32_t total = c.u32le();
        c.require(static_cast<std::size_t>(polys) * 4);
        std::vector<std::uint32_t> counts(polys);
        std::uint64_t sum = 0;
        for (auto& n : counts) {
            n = c.u32le();
            sum += n;
        }
        if (sum > total)
            return;
        const auto pts = ReadPoints(c, total, small);
        Shape(closed, true, [&](const TXform& t, double off, bool) {
            std::size_t i = 0;
            for (const std::uint32_t n : counts) {
                for (std::uint32_t k = 0; k < n; ++k, ++i) {
                    double x, y;
                    Point(t, pts[i].first, pts[i].second, off, x, y);
                    if (k == 0)
                        cairo_move_to(m_cr, x, y);
                    else
                        cairo_line_to(m_cr, x, y);
                }
                if (closed && n > 0)
                    cairo_close_path(m_cr);
            }
        });
    }

    void RectShape(std::uint32_t type, base::ByteCursor& c)
    {
        const double l = c.i32le(), tp = c.i32le(), r = c.i32le(), b = c.i32le();
        double cw = 0, ch = 0;
        if (type == emr::kRoundRect) {
            cw = c.i32le();
            ch = c.i32le();
        }
        Shape(true, true, [&](const TXform& t, double off, bool alone) {
            const TBox box = Box(t, l, tp, r, b, off, alone);
            if (type == emr::kEllipse) {
                EllipsePath(box);
                return;
            }
            if (type == emr::kRoundRect && cw != 0 && ch != 0) {
                const double rx = std::min(std::fabs(cw * t.m11) / 2, (box.x1 - box.x0) / 2);
                const double ry = std::min(std::fabs(ch * t.m22) / 2, (box.y1 - box.y0) / 2);
                if (rx > 0 && ry > 0) {
                    cairo_new_sub_path(m_cr);
                    const double xs[] = {box.x1 - rx, box.x1 - rx, box.x0 + rx, box.x0 + rx};
                    const double ys[] = {box.y0 + ry, box.y1 - ry, box.y1 - ry, box.y0 + ry};
                    for (int k = 0; k < 4; ++k) {
                        cairo_save(m_cr);
                        cairo_translate(m_cr, xs[k], ys[k]);
                        cairo_scale(m_cr, rx, ry);
                        cairo_arc(m_cr, 0, 0, 1, (k - 1) * kPi / 2, k * kPi / 2);
                        cairo_restore(m_cr);
                    }
                    cairo_close_path(m_cr);
                    return;
                }
            }
            if (AxisAligned(t)) {
                cairo_rectangle(m_cr, box.x0, box.y0, box.x1 - box.x0, box.y1 - box.y0);
            } else {
                const double px[] = {l, r, r, l}, py[] = {tp, tp, b, b};
                for (int k = 0; k < 4; ++k) {
                    double x, y;
                    Point(t, px[k], py[k], off, x, y);
                    k == 0 ? cairo_move_to(m_cr, x, y) : cairo_line_to(m_cr, x, y);
                }
                cairo_close_path(m_cr);
            }
        });
    }

    void ArcShape(std::uint32_t type, base::ByteCursor& c)
    {
        const double l = c.i32le(), tp = c.i32le(), r = c.i32le(), b = c.i32le();
        const double sx = c.i32le(), sy = c.i32le(), ex = c.i32le(), ey = c.i32le();
        const TArcKind kind = type == emr::kChord ? TArcKind::Chord
                              : type == emr::kPie ? TArcKind::Pie
                                                  : TArcKind::Open;
        const bool to = type == emr::kArcTo;
        const double curX = m_dc.curX, curY = m_dc.curY;
        Shape(kind != TArcKind::Open, true, [&](const TXform& t, double off, bool alone) {
            const TBox box = Box(t, l, tp, r, b, off, alone);
            if (to) {
                double x, y;
                Point(t, curX, curY, off, x, y);
                if (!cairo_has_current_point(m_cr))
                    cairo_move_to(m_cr, x, y);
            }
            ArcPath(t, box, sx, sy, ex, ey, kind, off, to);
        });
        if (to) {
            // The current position ends on the arc's end radial.
            const double cx = (l + r) / 2, cy = (tp + b) / 2, rx = (r - l) / 2, ry = (b - tp) / 2;
            const double a = std::atan2((ey - cy) * (rx != 0 ? rx : 1), (ex - cx) * (ry != 0 ? ry : 1));
            m_dc.curX = cx + rx * std::cos(a);
            m_dc.curY = cy + ry * std::sin(a);
        }
    }

    void Line(double x, double y)
    {
        const double fx = m_dc.curX, fy = m_dc.curY;
        m_dc.curX = x;
        m_dc.curY = y;
        Shape(false, true, [&](const TXform& t, double off, bool) {
            double ax, ay, bx, by;
            Point(t, fx, fy, off, ax, ay);
            Point(t, x, y, off, bx, by);
            if (!m_inPath || !cairo_has_current_point(m_cr))
                cairo_move_to(m_cr, ax, ay);
            cairo_line_to(m_cr, bx, by);
        });
    }

    void SelectObject(std::uint32_t index)
    {
        if (index & emr::kStockObject) {
            const std::uint32_t n = index & 0x7FFFFFFF;
            const std::uint32_t grey[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
            if (n <= 4)
                m_dc.brush = TBrush{TBrushKind::Solid, grey[n], 0, nullptr};
            else if (n == 5)
                m_dc.brush = TBrush{TBrushKind::Null, 0, 0, nullptr};
            else if (n == 6)
                m_dc.pen = TPen{0, 0, 0xFFFFFF, true};
            else if (n == 7)
                m_dc.pen = TPen{0, 0, 0, true};
            else if (n == 8)
                m_dc.pen = TPen{kPsNull, 0, 0, true};
            else if (n == 18)
                m_dc.brush = TBrush{TBrushKind::Solid, 0xFFFFFF, 0, nullptr};
            else if (n == 19)
                m_dc.pen = TPen{0, 0, 0, true};
            return;
        }
        if (index >= m_handles.size() || !m_handles[index])
            return;
        const TObject& o = *m_handles[index];
        if (o.kind == TObject::Kind::Pen)
            m_dc.pen = o.pen;
        else if (o.kind == TObject::Kind::Brush)
            m_dc.brush = o.brush;
        else if (o.kind == TObject::Kind::Font)
            m_dc.font = o.font;
    }

    std::optional<TObject>* Slot(std::uint32_t index)
    {
        if (index == 0 || index >= m_handles.size())
            return nullptr;
        return &m_handles[index];
    }

    // The destination of a blit in target pixels: axis-aligned only.
    struct TDest {
        double x0, y0, x1, y1;
    };
    std::optional<TDest> DestRect(double x, double y, double w, double h) const
    {
        const TXform t = Full();
        if (!t.Finite() || !AxisAligned(t))
            return std::nullopt;
        TDest d;
        t.Apply(x, y, d.x0, d.y0);
        t.Apply(x + w, y + h, d.x1, d.y1);
        if (!std::isfinite(d.x0) || !std::isfinite(d.x1) || !std::isfinite(d.y0) || !std::isfinite(d.y1))
            return std::nullopt;
        return d;
    }

    enum class TBlitMode { Rop, Transparent, Alpha };

    // Nearest-pixel copy of the source rectangle (sx, sy, sw, sh; top-down
    // source rows) onto dest, through the raster operation.
    void Blit(const TDest& d, const TDib* src, double sx, double sy, double sw, double sh, std::uint32_t rop,
              TBlitMode mode, std::uint32_t key)
    {
        const double xa = std::min(d.x0, d.x1), xb = std::max(d.x0, d.x1);
        const double ya = std::min(d.y0, d.y1), yb = std::max(d.y0, d.y1);
        const bool flipX = (d.x1 < d.x0) != (sw < 0), flipY = (d.y1 < d.y0) != (sh < 0);
        const double asw = std::fabs(sw), ash = std::fabs(sh);
        const double ox = sw < 0 ? sx + sw : sx, oy = sh < 0 ? sy + sh : sy;
        const int px0 = static_cast<int>(std::max(0.0, std::ceil(xa - 0.5)));
        const int px1 = static_cast<int>(std::min<double>(m_target.width, std::ceil(xb - 0.5)));
        const int py0 = static_cast<int>(std::max(0.0, std::ceil(ya - 0.5)));
        const int py1 = static_cast<int>(std::min<double>(m_target.height, std::ceil(yb - 0.5)));
        if (px0 >= px1 || py0 >= py1 || xb - xa <= 0 || yb - ya <= 0)
            return;
        const std::uint8_t index = static_cast<std::uint8_t>(rop >> 16);
        const std::uint32_t pat = Bgr(m_dc.brush.color);
        cairo_surface_flush(m_surface);
        std::vector<int> cols(static_cast<std::size_t>(px1 - px0));
        if (src) {
            for (int x = px0; x < px1; ++x) {
                double f = (x + 0.5 - xa) / (xb - xa);
                if (flipX)
                    f = 1 - f;
                cols[static_cast<std::size_t>(x - px0)] = static_cast<int>(std::floor(ox + f * asw));
            }
        }
        const double blend = mode == TBlitMode::Alpha ? ((rop >> 16) & 0xFF) / 255.0 : 1.0;
        const bool perPixelAlpha = mode == TBlitMode::Alpha && ((rop >> 24) & 1);
        const bool plainCopy = src != nullptr && mode == TBlitMode::Rop && rop == emr::kSrcCopy;
        for (int y = py0; y < py1; ++y) {
            int srow = 0;
            if (src) {
                double f = (y + 0.5 - ya) / (yb - ya);
                if (flipY)
                    f = 1 - f;
                srow = static_cast<int>(std::floor(oy + f * ash));
                if (srow < 0 || srow >= src->height)
                    continue;
            }
            std::uint32_t* row = Row(y);
            if (plainCopy) {
                // The common case, a plain copy: one tight loop per row.
                const std::uint32_t* srcRow =
                    &src->pixels[static_cast<std::size_t>(srow) * static_cast<std::size_t>(src->width)];
                const int* col = cols.data();
                for (int x = px0; x < px1; ++x, ++col)
                    if (*col >= 0 && *col < src->width)
                        row[x] = 0xFF000000 | srcRow[*col];
                continue;
            }
            for (int x = px0; x < px1; ++x) {
                std::uint32_t s = 0;
                if (src) {
                    const int scol = cols[static_cast<std::size_t>(x - px0)];
                    if (scol < 0 || scol >= src->width)
                        continue;
                    s = src->At(scol, srow);
                }
                const std::uint32_t dv = row[x];
                std::uint32_t out = 0;
                if (mode == TBlitMode::Transparent) {
                    if ((s & 0xFFFFFF) == key)
                        continue;
                    out = s;
                } else if (mode == TBlitMode::Alpha) {
                    const double a = perPixelAlpha ? blend * ((s >> 24) / 255.0) : blend;
                    out = 0;
                    for (int k = 0; k < 24; k += 8) {
                        const double sc = (s >> k) & 0xFF, dc = (dv >> k) & 0xFF;
                        // Per-pixel alpha sources are premultiplied.
                        const double v = perPixelAlpha ? sc * blend + dc * (1 - a) : sc * a + dc * (1 - a);
                        out |= static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)) << k;
                    }
                } else if (rop == emr::kSrcCopy) {
                    out = s;
                } else {
                    for (int k = 0; k < 24; k += 8)
                        out |=
                            std::uint32_t{Rop3(index, static_cast<std::uint8_t>(pat >> k),
                                               static_cast<std::uint8_t>(s >> k), static_cast<std::uint8_t>(dv >> k))}
                            << k;
                }
                row[x] = 0xFF000000 | (out & 0xFFFFFF);
            }
        }
        cairo_surface_mark_dirty(m_surface);
    }

    // BITBLT, STRETCHBLT, TRANSPARENTBLT and ALPHABLEND share one layout.
    void BltRecord(std::uint32_t type, std::span<const std::uint8_t> record, base::ByteCursor& c)
    {
        c.skip(16);
        const double xDest = c.i32le(), yDest = c.i32le(), cxDest = c.i32le(), cyDest = c.i32le();
        const std::uint32_t rop = c.u32le();
        const double xSrc = c.i32le(), ySrc = c.i32le();
        c.skip(24 + 4);  // source transform, background colour
        c.skip(4);       // colour usage
        const std::uint32_t offBmi = c.u32le(), cbBmi = c.u32le(), offBits = c.u32le(), cbBits = c.u32le();
        double cxSrc = cxDest, cySrc = cyDest;
        if (type != emr::kBitBlt) {
            cxSrc = c.i32le();
            cySrc = c.i32le();
        }
        const auto d = DestRect(xDest, yDest, cxDest, cyDest);
        if (!d)
            return;
        const TBlitMode mode = type == emr::kTransparentBlt ? TBlitMode::Transparent
                               : type == emr::kAlphaBlend   ? TBlitMode::Alpha
                                                            : TBlitMode::Rop;
        if (cbBmi == 0) {
            // No source: only operations of pattern and destination apply.
            if (mode != TBlitMode::Rop)
                return;
            const std::uint8_t i = static_cast<std::uint8_t>(rop >> 16);
            if (((i >> 2) & 0x33) != (i & 0x33))
                return;  // the operation needs a source
            Blit(*d, nullptr, 0, 0, 0, 0, rop, mode, 0);
            return;
        }
        const auto dib = ReadDib(record, offBmi, cbBmi, offBits, cbBits);
        if (!dib)
            return;
        Blit(*d, &*dib, xSrc, ySrc, cxSrc, cySrc, rop, mode, Bgr(rop) & 0xFFFFFF);
    }

    void StretchDIBits(std::span<const std::uint8_t> record, base::ByteCursor& c)
    {
        c.skip(16);
        const double xDest = c.i32le(), yDest = c.i32le(), xSrc = c.i32le(), ySrc = c.i32le();
        const double cxSrc = c.i32le(), cySrc = c.i32le();
        const std::uint32_t offBmi = c.u32le(), cbBmi = c.u32le(), offBits = c.u32le(), cbBits = c.u32le();
        c.skip(4);
        const std::uint32_t rop = c.u32le();
        const double cxDest = c.i32le(), cyDest = c.i32le();
        const auto d = DestRect(xDest, yDest, cxDest, cyDest);
        if (!d)
            return;
        const auto dib = ReadDib(record, offBmi, cbBmi, offBits, cbBits);
        if (!dib)
            return;
        // The source rectangle of a bottom-up DIB starts at its lower left.
        const double top = dib->bottomUp ? dib->height - ySrc - cySrc : ySrc;
        Blit(*d, &*dib, xSrc, top, cxSrc, cySrc, rop, TBlitMode::Rop, 0);
    }

    void SetDIBitsToDevice(std::span<const std::uint8_t> record, base::ByteCursor& c)
    {
        c.skip(16);
        const double xDest = c.i32le(), yDest = c.i32le(), xSrc = c.i32le(), ySrc = c.i32le();
        const double cxSrc = c.i32le(), cySrc = c.i32le();
        const std::uint32_t offBmi = c.u32le(), cbBmi = c.u32le(), offBits = c.u32le(), cbBits = c.u32le();
        const auto dib = ReadDib(record, offBmi, cbBmi, offBits, cbBits);
        if (!dib)
            return;
        const auto d = DestRect(xDest, yDest, cxSrc, cySrc);
        if (!d)
            return;
        const double top = dib->bottomUp ? dib->height - ySrc - cySrc : ySrc;
        Blit(*d, &*dib, xSrc, top, cxSrc, cySrc, emr::kSrcCopy, TBlitMode::Rop, 0);
    }

    void Dispatch(std::uint32_t type, std::span<const std::uint8_t> record)
    {
        base::ByteCursor c(record);
        c.skip(8);
        switch (type) {
        case emr::kPolyBezier:
        case emr::kPolygon:
        case emr::kPolyline:
        case emr::kPolyBezierTo:
        case emr::kPolylineTo:
        case emr::kPolyBezier16:
        case emr::kPolygon16:
        case emr::kPolyline16:
        case emr::kPolyBezierTo16:
        case emr::kPolylineTo16:
            Poly(type, c);
            break;
        case emr::kPolyPolyline:
        case emr::kPolyPolygon:
        case emr::kPolyPolyline16:
        case emr::kPolyPolygon16:
            PolyPoly(type, c);
            break;
        case emr::kSetWindowExtEx: {
            const double x = c.i32le(), y = c.i32le();
            if (x != 0 && y != 0) {
                m_dc.winExtX = x;
                m_dc.winExtY = y;
            }
            break;
        }
        case emr::kSetWindowOrgEx:
            m_dc.winOrgX = c.i32le();
            m_dc.winOrgY = c.i32le();
            break;
        case emr::kSetViewportExtEx: {
            const double x = c.i32le(), y = c.i32le();
            if (x != 0 && y != 0) {
                m_dc.vpExtX = x;
                m_dc.vpExtY = y;
            }
            break;
        }
        case emr::kSetViewportOrgEx:
            m_dc.vpOrgX = c.i32le();
            m_dc.vpOrgY = c.i32le();
            break;
        case emr::kSetPixelV: {
            const double x = c.i32le(), y = c.i32le();
            const std::uint32_t color = c.u32le();
            const TXform t = Full();
            double px, py;
            t.Apply(x, y, px, py);
            if (std::isfinite(px) && std::isfinite(py) && px >= 0 && py >= 0 && px < m_target.width &&
                py < m_target.height) {
                cairo_surface_flush(m_surface);
                Row(static_cast<int>(py))[static_cast<int>(px)] = 0xFF000000 | Bgr(color);
                cairo_surface_mark_dirty(m_surface);
            }
            break;
        }
        case emr::kSetMapMode: {
            const std::uint32_t m = c.u32le();
            if (m >= 1 && m <= 8)
                m_dc.mapMode = m;
            break;
        }
        case emr::kSetBkMode:
            m_dc.bkMode = c.u32le();
            break;
        case emr::kSetPolyFillMode:
            m_dc.fillMode = c.u32le();
            break;
        case emr::kSetRop2: {
            const std::uint32_t r = c.u32le();
            if (r >= 1 && r <= 16)
                m_dc.rop2 = r;
            break;
        }
        case emr::kSetTextColor:
            m_dc.textColor = c.u32le();
            break;
        case emr::kSetBkColor:
            m_dc.bkColor = c.u32le();
            break;
        case emr::kMoveToEx:
            m_dc.curX = c.i32le();
            m_dc.curY = c.i32le();
            if (m_inPath) {
                const TXform t = Full();
                double x, y;
                t.Apply(m_dc.curX, m_dc.curY, x, y);
                if (std::isfinite(x) && std::isfinite(y))
                    cairo_move_to(m_cr, x, y);
            }
            break;
        case emr::kSaveDC:
            if (m_saved.size() < 65536)
                m_saved.push_back(m_dc);
            break;
        case emr::kRestoreDC: {
            // Relative (negative) counts back from the newest state; positive
            // names a saved state by its number from the first.
            const std::int32_t n = c.i32le();
            std::size_t keep = 0;
            if (n < 0) {
                const std::size_t back = static_cast<std::size_t>(-static_cast<std::int64_t>(n));
                if (back > m_saved.size())
                    break;
                keep = m_saved.size() - back;
            } else if (n > 0 && static_cast<std::size_t>(n) <= m_saved.size()) {
                keep = static_cast<std::size_t>(n) - 1;
            } else {
                break;
            }
            m_dc = m_saved[keep];
            m_saved.resize(keep);
            break;
        }
        case emr::kSetWorldTransform: {
            const TXform x = ReadXform(c);
            if (UsableXform(x))
                m_dc.world = x;
            break;
        }
        case emr::kModifyWorldTransform: {
            const TXform x = ReadXform(c);
            const std::uint32_t mode = c.u32le();
            TXform r = m_dc.world;
            if (mode == 1)
                r = TXform{};
            else if (mode == 2)
                r = Compose(x, m_dc.world);
            else if (mode == 3)
                r = Compose(m_dc.world, x);
            else if (mode == 4)
                r = x;
            if (UsableXform(r))
                m_dc.world = r;
            break;
        }
        case emr::kSelectObject:
            SelectObject(c.u32le());
            break;
        case emr::kCreatePen: {
            auto* slot = Slot(c.u32le());
            if (!slot)
                break;
            TObject o;
            o.kind = TObject::Kind::Pen;
            o.pen.style = c.u32le();
            o.pen.width = c.i32le();
            c.skip(4);
            o.pen.color = c.u32le();
            o.pen.cosmetic = o.pen.width <= 1;
            *slot = o;
            break;
        }
        case emr::kExtCreatePen: {
            auto* slot = Slot(c.u32le());
            if (!slot)
                break;
            c.skip(16);
            TObject o;
            o.kind = TObject::Kind::Pen;
            o.pen.style = c.u32le();
            o.pen.width = c.u32le();
            const std::uint32_t brushStyle = c.u32le();
            o.pen.color = c.u32le();
            o.pen.cosmetic = (o.pen.style & 0x10000) == 0;
            if (brushStyle == 1)
                o.pen.style = (o.pen.style & ~0xFu) | kPsNull;
            *slot = o;
            break;
        }
        case emr::kCreateBrushIndirect: {
            auto* slot = Slot(c.u32le());
            if (!slot)
                break;
            TObject o;
            o.kind = TObject::Kind::Brush;
            const std::uint32_t style = c.u32le();
            o.brush.color = c.u32le();
            o.brush.hatch = c.u32le();
            o.brush.kind = style == 1 ? TBrushKind::Null : style == 2 ? TBrushKind::Hatched : TBrushKind::Solid;
            *slot = o;
            break;
        }
        case emr::kCreateMonoBrush:
        case emr::kCreateDIBPatternBrushPt: {
            auto* slot = Slot(c.u32le());
            if (!slot)
                break;
            c.skip(4);
            const std::uint32_t offBmi = c.u32le(), cbBmi = c.u32le(), offBits = c.u32le(), cbBits = c.u32le();
            auto dib = ReadDib(record, offBmi, cbBmi, offBits, cbBits);
            TObject o;
            o.kind = TObject::Kind::Brush;
            if (dib) {
                o.brush.kind = TBrushKind::Pattern;
                o.brush.color = Bgr(dib->pixels[0]) & 0xFFFFFF;
                o.brush.pattern = std::make_shared<const TDib>(std::move(*dib));
            }
            *slot = o;
            break;
        }
        case emr::kDeleteObject: {
            auto* slot = Slot(c.u32le());
            if (slot)
                slot->reset();
            break;
        }
        case emr::kEllipse:
        case emr::kRectangle:
        case emr::kRoundRect:
            RectShape(type, c);
            break;
        case emr::kArc:
        case emr::kChord:
        case emr::kPie:
        case emr::kArcTo:
            ArcShape(type, c);
            break;
        case emr::kAngleArc: {
            const double x = c.i32le(), y = c.i32le();
            const double r = c.u32le();
            const double start = std::bit_cast<float>(c.u32le()), sweep = std::bit_cast<float>(c.u32le());
            if (!std::isfinite(start) || !std::isfinite(sweep))
                break;
            const double a0 = start * kPi / 180, a1 = (start + sweep) * kPi / 180;
            const double sx = x + r * std::cos(a0), sy = y - r * std::sin(a0);
            Line(sx, sy);
            // The sweep runs counter-clockwise in logical space for positive angles.
            const int steps = std::clamp(static_cast<int>(std::fabs(sweep) / 5) + 1, 1, 73);
            for (int i = 1; i <= steps; ++i) {
                const double a = a0 + (a1 - a0) * i / steps;
                Line(x + r * std::cos(a), y - r * std::sin(a));
            }
            break;
        }
        case emr::kLineTo: {
            const double x = c.i32le(), y = c.i32le();
            Line(x, y);
            break;
        }
        case emr::kSetArcDirection:
            m_dc.arcDirection = c.u32le();
            break;
        case emr::kBeginPath:
            if (m_path) {
                cairo_path_destroy(m_path);
                m_path = nullptr;
            }
            cairo_new_path(m_cr);
            m_inPath = true;
            break;
        case emr::kEndPath:
            if (!m_inPath)
                break;
            m_inPath = false;
            m_path = cairo_copy_path(m_cr);
            cairo_new_path(m_cr);
            break;
        case emr::kCloseFigure:
            if (m_inPath && cairo_has_current_point(m_cr))
                cairo_close_path(m_cr);
            break;
        case emr::kAbortPath:
            m_inPath = false;
            cairo_new_path(m_cr);
            if (m_path) {
                cairo_path_destroy(m_path);
                m_path = nullptr;
            }
            break;
        case emr::kFillPath:
        case emr::kStrokeAndFillPath:
        case emr::kStrokePath: {
            if (!m_path || m_inPath)
                break;
            const TXform t = Full();
            if (type != emr::kStrokePath && BrushVisible()) {
                cairo_new_path(m_cr);
                cairo_append_path(m_cr, m_path);
                FillCurrent();
            }
            if (type != emr::kFillPath && PenVisible() && t.Finite()) {
                cairo_new_path(m_cr);
                const double off = StrokeOffset(t);
                cairo_save(m_cr);
                cairo_translate(m_cr, off, off);
                cairo_append_path(m_cr, m_path);
                cairo_restore(m_cr);
                StrokeCurrent(t);
            }
            cairo_new_path(m_cr);
            cairo_path_destroy(m_path);
            m_path = nullptr;
            break;
        }
        case emr::kBitBlt:
        case emr::kStretchBlt:
        case emr::kTransparentBlt:
        case emr::kAlphaBlend:
            BltRecord(type, record, c);
            break;
        case emr::kStretchDIBits:
            StretchDIBits(record, c);
            break;
        case emr::kSetTextAlign:
            m_dc.textAlign = c.u32le();
            break;
        case emr::kIntersectClipRect:
            ClipRectRecord(true, c);
            break;
        case emr::kExcludeClipRect:
            ClipRectRecord(false, c);
            break;
        case emr::kExtSelectClipRgn:
            SelectClipRegion(c);
            break;
        case emr::kOffsetClipRgn:
            OffsetClip(c);
            break;
        case emr::kSelectClipPath:
            SelectClipPath(c.u32le());
            break;
        case emr::kExtCreateFontIndirectW: {
            auto* slot = Slot(c.u32le());
            if (!slot)
                break;
            TObject o;
            o.kind = TObject::Kind::Font;
            o.font = ReadLogFontW(c.rest());
            *slot = o;
            break;
        }
        case emr::kExtTextOutA:
        case emr::kExtTextOutW:
            TextRecord(type == emr::kExtTextOutW, record, c);
            break;
        case emr::kSetDIBitsToDevice:
            SetDIBitsToDevice(record, c);
            break;
        default:
            break;  // records this player does not draw
        }
    }

    TPlayTarget& m_target;
    const TEnhMetaFile& m_picture;
    double m_devPerMmX = 1, m_devPerMmY = 1;
    double m_mmX = 1, m_mmY = 1, m_devX = 1, m_devY = 1;
    TXform m_base;
    TDcState m_dc;
    std::vector<TDcState> m_saved;
    std::vector<std::uint8_t> m_before;  // the pixels before a clipped record
    std::vector<std::optional<TObject>> m_handles;
    cairo_surface_t* m_surface = nullptr;
    cairo_t* m_cr = nullptr;
    cairo_path_t* m_path = nullptr;
    bool m_inPath = false;
    std::uint8_t* m_data = nullptr;
    std::size_t m_stride = 0;
};

}  // namespace

void PlayEnhMetaFile(TPlayTarget& target, const TEnhMetaFile& picture, const TRectL& rect)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    TPlayer player(target, picture, rect);
    player.Play();
}

}  // namespace scalopex::gdi
