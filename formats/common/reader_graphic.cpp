#include "formats/common/reader_graphic.h"

#include <algorithm>
#include <cstring>

#include "base/limits.h"
#include "core/stream.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_ABSTRACT_GRAPHIC_CLASS(TReaderGraphic, core::TBitmap)

TRowSink::TRowSink(core::TBitmap& raster, TColorManager& colorManager, const TRasterPlan& plan)
    : m_colorManager(colorManager), m_width(raster.Width()), m_height(raster.Height()), m_prefilled(plan.prefill)
{
    if (raster.Empty()) {
        m_width = m_height = 0;  // no rows: any row asked for is beyond the raster
        return;
    }
    m_rows = raster.ScanLine(0);
    m_stride = raster.RowBytes();
    const std::size_t bits = static_cast<std::size_t>(m_width) * core::BitsPerPixel(raster.PixelFormat());
    m_rowBytes = (bits + 7) / 8;

    // One row of the fill in the raster's layout, its padding zero.
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(m_width) * 4);
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        bgra[i] = core::GetBValue(plan.fill.color);
        bgra[i + 1] = core::GetGValue(plan.fill.color);
        bgra[i + 2] = core::GetRValue(plan.fill.color);
        bgra[i + 3] = plan.fill.alpha;
    }
    const core::TBitmapImage& image = raster.Image();
    m_fillRow.assign(m_stride, 0);
    gdi::TNearestColorMap nearest(image.palette);
    core::PackRow(image, bgra.data(), m_width, m_fillRow.data(), &nearest);

    if (m_prefilled)
        for (int y = 0; y < m_height; ++y)
            std::memcpy(RowStart(y), m_fillRow.data(), m_stride);
    else
        m_delivered.assign(static_cast<std::size_t>(m_height), false);
}

std::uint8_t* TRowSink::RowStart(int y)
{
    if (y < 0 || y >= m_height)
        throw base::EInternalError("Row beyond the raster");
    return m_rows + static_cast<std::size_t>(y) * m_stride;
}

std::span<std::uint8_t> TRowSink::Row(int y)
{
    std::uint8_t* row = RowStart(y);
    if (!m_prefilled)
        m_delivered[static_cast<std::size_t>(y)] = true;
    return {row, m_rowBytes};
}

void TRowSink::Convert(int y, std::span<const std::uint8_t> source, std::uint8_t mask)
{
    m_colorManager.ConvertRow(source, Row(y), static_cast<std::size_t>(m_width), mask);
}

void TRowSink::Convert(int y, std::span<const std::span<const std::uint8_t>> planes, std::uint8_t mask)
{
    m_colorManager.ConvertPixels(planes, Row(y), static_cast<std::size_t>(m_width), mask);
}

void TRowSink::FillMissingRows()
{
    if (m_prefilled)
        return;
    for (int y = 0; y < m_height; ++y)
        if (!m_delivered[static_cast<std::size_t>(y)])
            std::memcpy(RowStart(y), m_fillRow.data(), m_stride);
}

bool TReaderGraphic::CanLoadFile(const std::string& path) const
{
    core::TFileStream stream(path, core::TFileStream::Mode::OpenRead);
    return CanLoadStream(stream);
}

bool TReaderGraphic::CanLoadStream(core::TStream&) const
{
    return false;
}

bool TReaderGraphic::ReadImageDescription(core::TStream& stream, int imageIndex)
{
    ImageDescription = TImageProperties{};
    const std::uint64_t start = stream.Position();
    std::vector<std::uint8_t> holder;
    const std::span<const std::uint8_t> input = stream.ViewRemaining(base::Limits().maxInputBytes, holder);
    stream.SetPosition(start);
    base::ByteCursor cursor(input, ShortReadHandler());
    return ParseImageDescription(cursor, imageIndex);
}

bool TReaderGraphic::ParseImageDescription(base::ByteCursor&, int)
{
    return false;
}

void TReaderGraphic::LoadFromStream(core::TStream& stream)
{
    Assign(nullptr);
    SetTransparent(false);
    SetTransparentColor(core::clDefault);
    m_basePosition = stream.Position();
    std::vector<std::uint8_t> holder;
    const std::span<const std::uint8_t> input = stream.ViewRemaining(base::Limits().maxInputBytes, holder);
    base::ByteCursor cursor(input, ShortReadHandler());

    ImageDescription = TImageProperties{};
    const TRasterPlan plan = ReadHeader(cursor);
    if (!plan.stayEmpty) {
        cursor.require(plan.rawBytes);
        base::CheckImageHeader({.width = plan.width,
                                .height = plan.height,
                                .bitsPerPixel = core::BitsPerPixel(plan.pixelFormat),
                                .dataBytes = cursor.remaining(),
                                .minimumDataBytes = plan.minimumDataBytes});
        SetPixelFormat(plan.pixelFormat);
        if (plan.palette)
            SetPalette(*plan.palette);
        SetSizeUninitialized(plan.width, plan.height);
        // A side of 0 leaves no row to decode: the image is empty.
        if (!Empty()) {
            TRowSink sink(*this, m_colorManager, plan);
            try {
                DecodeRows(cursor, sink);
            } catch (...) {
                sink.FillMissingRows();  // a failed load leaves no undefined pixels behind
                throw;
            }
            sink.FillMissingRows();
        }
    }
    stream.SetPosition(m_basePosition + cursor.position());
}

void TReaderGraphic::Assign(const core::TGraphic* source)
{
    if (const auto* reader = dynamic_cast<const TReaderGraphic*>(source))
        ImageDescription = reader->ImageDescription;
    core::TBitmap::Assign(source);
}

}  // namespace scalopex::formats
