// EMF bytes as the recorder and the old-format converter write them: a
// 108-byte header (with the micrometre size, without description), the
// records, and an end record without palette.

#include "platform/gdi/emf_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "platform/gdi/emf_records.h"

namespace scalopex::gdi {

namespace {

constexpr std::uint32_t kHeaderBytes = 108;
constexpr std::uint32_t kBitmapInfoBytes = 40;

}  // namespace

TEmfBuilder::TEmfBuilder(const TScreenMetrics& device, const TRectL& frame) : m_bytes(kHeaderBytes, 0)
{
    PutAt(0, emr::kHeader);
    PutAt(4, kHeaderBytes);
    PutAt(24, static_cast<std::uint32_t>(frame.left));
    PutAt(28, static_cast<std::uint32_t>(frame.top));
    PutAt(32, static_cast<std::uint32_t>(frame.right));
    PutAt(36, static_cast<std::uint32_t>(frame.bottom));
    PutAt(40, kEmfSignature);
    PutAt(44, 0x10000);  // version
    PutAt(72, static_cast<std::uint32_t>(device.widthPixels));
    PutAt(76, static_cast<std::uint32_t>(device.heightPixels));
    PutAt(80, static_cast<std::uint32_t>(device.widthMillimetres));
    PutAt(84, static_cast<std::uint32_t>(device.heightMillimetres));
    PutAt(100, static_cast<std::uint32_t>(device.widthMillimetres * 1000));
    PutAt(104, static_cast<std::uint32_t>(device.heightMillimetres * 1000));
}

void TEmfBuilder::PutAt(std::size_t offset, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void TEmfBuilder::Begin(std::uint32_t type)
{
    m_recordStart = m_bytes.size();
    m_open = true;
    PutU32(type);
    PutU32(0);  // size, written by End
}

void TEmfBuilder::PutU32(std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void TEmfBuilder::Reserve(std::size_t more)
{
    m_bytes.reserve(m_bytes.size() + more);
}

void TEmfBuilder::PutU16(std::uint16_t v)
{
    m_bytes.push_back(static_cast<std::uint8_t>(v));
    m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
}

void TEmfBuilder::PutF32(float v)
{
    PutU32(std::bit_cast<std::uint32_t>(v));
}

void TEmfBuilder::PutBytes(std::span<const std::uint8_t> bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

std::uint32_t TEmfBuilder::RecordOffset() const
{
    return static_cast<std::uint32_t>(m_bytes.size() - m_recordStart);
}

void TEmfBuilder::End()
{
    while (m_bytes.size() % 4 != 0)
        m_bytes.push_back(0);
    const std::size_t size = m_bytes.size() - m_recordStart;
    if (size > 0xFFFFFFFFu || m_bytes.size() > 0xFFFFFFFFu)
        throw base::ELimitExceeded("The metafile would exceed 4 GB");
    PutAt(m_recordStart + 4, static_cast<std::uint32_t>(size));
    ++m_records;
    m_open = false;
}

void TEmfBuilder::Abandon()
{
    if (m_open)
        m_bytes.resize(m_recordStart);
    m_open = false;
}

void TEmfBuilder::Record(std::uint32_t type, std::initializer_list<std::int32_t> fields)
{
    Begin(type);
    for (const std::int32_t f : fields)
        PutI32(f);
    End();
}

void TEmfBuilder::AddBounds(const TRectL& b)
{
    if (!m_hasBounds) {
        m_bounds = b;
        m_hasBounds = true;
        return;
    }
    m_bounds.left = std::min(m_bounds.left, b.left);
    m_bounds.top = std::min(m_bounds.top, b.top);
    m_bounds.right = std::max(m_bounds.right, b.right);
    m_bounds.bottom = std::max(m_bounds.bottom, b.bottom);
}

void TEmfBuilder::UseHandle(std::uint32_t index)
{
    m_handles = std::max(m_handles, std::min(index + 1, 0xFFFFu));
}

std::vector<std::uint8_t> TEmfBuilder::Finish()
{
    Begin(emr::kEof);
    PutU32(0);   // palette entries
    PutU32(16);  // palette offset
    PutU32(20);  // the record's own size, repeated at its end
    End();
    if (m_hasBounds) {
        PutAt(8, static_cast<std::uint32_t>(m_bounds.left));
        PutAt(12, static_cast<std::uint32_t>(m_bounds.top));
        PutAt(16, static_cast<std::uint32_t>(m_bounds.right));
        PutAt(20, static_cast<std::uint32_t>(m_bounds.bottom));
    } else {
        // An empty picture reports the empty bounds rectangle (0, 0, -1, -1).
        PutAt(16, 0xFFFFFFFFu);
        PutAt(20, 0xFFFFFFFFu);
    }
    PutAt(48, static_cast<std::uint32_t>(m_bytes.size()));
    PutAt(52, m_records);
    m_bytes[56] = static_cast<std::uint8_t>(m_handles);
    m_bytes[57] = static_cast<std::uint8_t>(m_handles >> 8);
    return std::move(m_bytes);
}

void TEmfRecorder::DrawRaster(int x, int y, int destWidth, int destHeight, int width, int height,
                              std::span<const std::uint8_t* const> rows, const std::uint32_t* transparentColor)
{
    if (width <= 0 || height <= 0 || destWidth <= 0 || destHeight <= 0 ||
        rows.size() != static_cast<std::size_t>(height))
        return;
    const std::size_t stride = (base::checkedMul(static_cast<std::size_t>(width), 3) + 3) & ~std::size_t{3};
    const std::size_t bitsBytes = base::checkedMul(stride, static_cast<std::size_t>(height));
    if (bitsBytes > 0xFFFFFFFFu - 256)
        throw base::ELimitExceeded("The raster is too large for a metafile record");

    TEmfBuilder& b = m_builder;
    b.Reserve(bitsBytes + 256);
    const bool transparent = transparentColor != nullptr;
    // A plain copy is one stretch-DIB record; a transparent one a
    // transparent blit whose key colour is left out.
    const std::uint32_t fixed = transparent ? 108 : 80;
    b.Begin(transparent ? emr::kTransparentBlt : emr::kStretchDIBits);
    const TRectL bounds{x, y, x + destWidth - 1, y + destHeight - 1};
    b.PutI32(bounds.left);
    b.PutI32(bounds.top);
    b.PutI32(bounds.right);
    b.PutI32(bounds.bottom);
    if (transparent) {
        b.PutI32(x);
        b.PutI32(y);
        b.PutI32(destWidth);
        b.PutI32(destHeight);
        b.PutU32(*transparentColor & 0xFFFFFF);
        b.PutI32(0);  // source x, y
        b.PutI32(0);
        b.PutF32(1.0f);  // source transform: identity
        b.PutF32(0.0f);
        b.PutF32(0.0f);
        b.PutF32(1.0f);
        b.PutF32(0.0f);
        b.PutF32(0.0f);
        b.PutU32(0);  // source background colour
        b.PutU32(0);  // DIB_RGB_COLORS
        b.PutU32(fixed);
        b.PutU32(kBitmapInfoBytes);
        b.PutU32(fixed + kBitmapInfoBytes);
        b.PutU32(static_cast<std::uint32_t>(bitsBytes));
        b.PutI32(width);
        b.PutI32(height);
    } else {
        b.PutI32(x);
        b.PutI32(y);
        b.PutI32(0);  // source x, y
        b.PutI32(0);
        b.PutI32(width);
        b.PutI32(height);
        b.PutU32(fixed);
        b.PutU32(kBitmapInfoBytes);
        b.PutU32(fixed + kBitmapInfoBytes);
        b.PutU32(static_cast<std::uint32_t>(bitsBytes));
        b.PutU32(0);  // DIB_RGB_COLORS
        b.PutU32(emr::kSrcCopy);
        b.PutI32(destWidth);
        b.PutI32(destHeight);
    }
    // BITMAPINFOHEADER: 24 bits, bottom-up, uncompressed.
    b.PutU32(kBitmapInfoBytes);
    b.PutI32(width);
    b.PutI32(height);
    b.PutU16(1);
    b.PutU16(24);
    b.PutU32(0);
    b.PutU32(static_cast<std::uint32_t>(bitsBytes));
    b.PutI32(3780);  // 96 dpi in pixels per metre
    b.PutI32(3780);
    b.PutU32(0);
    b.PutU32(0);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const std::uint8_t pad[4] = {0, 0, 0, 0};
    for (int row = height - 1; row >= 0; --row) {
        b.PutBytes({rows[static_cast<std::size_t>(row)], rowBytes});
        b.PutBytes({pad, stride - rowBytes});
    }
    b.End();
    b.AddBounds(bounds);
}

std::unique_ptr<TEmfRecorder> CreateEnhMetaFileA(const TScreenMetrics& device, const TRectL& frame)
{
    return std::make_unique<TEmfRecorder>(device, frame);
}

HENHMETAFILE CloseEnhMetaFile(std::unique_ptr<TEmfRecorder> recorder)
{
    if (!recorder)
        return nullptr;
    return SetEnhMetaFileBits(recorder->m_builder.Finish());
}

}  // namespace scalopex::gdi
