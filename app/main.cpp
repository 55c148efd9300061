// scalopex: the window. The first command-line argument, if any, is opened
// as the current file.

#include <string>
#include <vector>

#include <QApplication>
#include <QScreen>
#include <QThread>

#include "app/main_window.h"
#include "base/warnings.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/registry.h"
#include "output/publishing.h"
#include "platform/gdi/screen.h"
#include "platform/memory.h"

namespace {

// The engine measures against the screen (metafile frames, the JPEG
// reader's palette decoding); hand it the real one. Values the window system
// leaves unknown keep the engine's defaults.
void TakeScreenMetrics()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    scalopex::gdi::TScreenMetrics metrics;
    const qreal ratio = screen->devicePixelRatio();
    const QSize pixels = screen->geometry().size() * ratio;
    const QSizeF millimetres = screen->physicalSize();
    if (screen->depth() > 0)
        metrics.bitsPerPixel = screen->depth();
    if (screen->logicalDotsPerInchX() >= 1 && screen->logicalDotsPerInchY() >= 1) {
        metrics.pixelsPerInchX = qRound(screen->logicalDotsPerInchX() * ratio);
        metrics.pixelsPerInchY = qRound(screen->logicalDotsPerInchY() * ratio);
    }
    if (pixels.width() > 0 && pixels.height() > 0 && millimetres.width() >= 1 && millimetres.height() >= 1) {
        metrics.widthPixels = pixels.width();
        metrics.heightPixels = pixels.height();
        metrics.widthMillimetres = qRound(millimetres.width());
        metrics.heightMillimetres = qRound(millimetres.height());
    }
    scalopex::gdi::SetScreenMetrics(metrics);
    // A display of 256 colours or fewer gets JPEG pictures decoded to a palette.
    scalopex::formats::JpegDefaultOptions.IndexedDecode = metrics.bitsPerPixel <= 8;
}

}  // namespace

int main(int argc, char** argv)
{
    scalopex::platform::TuneAllocatorForImages();
    scalopex::output::RemovePendingFilesOnSignals();
    scalopex::formats::RegisterFileFormats();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(scalopex::app::kCaption));
    TakeScreenMetrics();

    // Qt has taken its own options out of argv by now; paths stay as the
    // bytes the system gave.
    scalopex::app::TWindowOptions options;
    for (int i = 1; i < argc; ++i)
        options.arguments.emplace_back(argv[i]);
    scalopex::app::TForm1 window(std::move(options));
    // Decoders' warnings in a message box captioned "Warning", always shown
    // from the user-interface thread.
    scalopex::base::SetWarningHandler([&window, &application](const std::string& text) {
        const auto show = [&window, text] {
            window.Desktop().MessageBox(text, "Warning", scalopex::platform::MessageIcon::Warning);
        };
        if (QThread::currentThread() == application.thread())
            show();
        else
            QMetaObject::invokeMethod(&application, show, Qt::QueuedConnection);
    });
    window.show();
    const int status = QApplication::exec();
    scalopex::base::SetWarningHandler({});
    return status;
}
