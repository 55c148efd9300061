#pragma once
/// The preview of the working image: the raster shown as a Qt image,
/// centred, shrunk to fit the box keeping its proportions, never enlarged.

#include <functional>

#include <QImage>
#include <QRect>
#include <QWidget>

#include "core/bitmap.h"

namespace scalopex::app {

/// Where an image of width × height lands in a box of boxWidth × boxHeight.
QRect PreviewRect(int width, int height, int boxWidth, int boxHeight);

/// The pixels of bitmap as a Qt image; a null image for an empty bitmap.
QImage BitmapToImage(const core::TBitmap& bitmap);

class TPreview : public QWidget {
public:
    explicit TPreview(QWidget* parent);

    /// Shows image (a null image clears the preview) and repaints at once.
    void SetImage(QImage image);
    const QImage& Image() const { return m_image; }

    std::function<void()> OnDoubleClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage m_image;
};

}  // namespace scalopex::app
