#include "app/preview.h"

#include <cstring>

#include <QMouseEvent>
#include <QPainter>

namespace scalopex::app {

QRect PreviewRect(int width, int height, int boxWidth, int boxHeight)
{
    int w = width;
    int h = height;
    if ((w > boxWidth || h > boxHeight) && w > 0 && h > 0) {
        const double aspect = static_cast<double>(w) / h;
        if (w > h) {
            w = boxWidth;
            h = static_cast<int>(boxWidth / aspect);
            if (h > boxHeight) {
                h = boxHeight;
                w = static_cast<int>(boxHeight * aspect);
            }
        } else {
            h = boxHeight;
            w = static_cast<int>(boxHeight * aspect);
            if (w > boxWidth) {
                w = boxWidth;
                h = static_cast<int>(boxWidth / aspect);
            }
        }
    }
    return QRect((boxWidth - w) / 2, (boxHeight - h) / 2, w, h);
}

QImage BitmapToImage(const core::TBitmap& bitmap)
{
    if (bitmap.Empty())
        return QImage();
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const core::TPixelFormat format = bitmap.PixelFormat();
    if (format == core::pf24bit || format == core::pf32bit) {
        // Rows hold blue, green, red (and a fourth byte), as these Qt formats do.
        const bool wide = format == core::pf32bit;
        QImage image(width, height, wide ? QImage::Format_RGB32 : QImage::Format_BGR888);
        if (image.isNull())
            return image;
        const std::size_t rowBytes = static_cast<std::size_t>(width) * (wide ? 4 : 3);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* line = image.scanLine(y);
            std::memcpy(line, bitmap.ScanLineRead(y), rowBytes);
            // The fourth byte of a 32-bit raster is filler or alpha; the preview is opaque.
            if (wide)
                for (int x = 0; x < width; ++x)
                    line[4 * x + 3] = 0xFF;
        }
        return image;
    }
    // Other pixel formats are unpacked row by row (palette entries, bit
    // fields) into blue, green, red, x quadruples, as Format_RGB32 holds them.
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const core::TBitmapImage& storage = bitmap.Image();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* line = image.scanLine(y);
        core::UnpackRow(storage, bitmap.ScanLineRead(y), width, line);
        // UnpackRow leaves the fourth byte zero; Format_RGB32 expects it opaque.
        for (int x = 0; x < width; ++x)
            line[4 * x + 3] = 0xFF;
    }
    return image;
}

TPreview::TPreview(QWidget* parent) : QWidget(parent) {}

void TPreview::SetImage(QImage image)
{
    m_image = std::move(image);
    if (isVisible())
        repaint();
    else
        update();
}

void TPreview::paintEvent(QPaintEvent*)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PreviewRect(m_image.width(), m_image.height(), width(), height()), m_image);
}

void TPreview::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && OnDoubleClick)
        OnDoubleClick();
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace scalopex::app
