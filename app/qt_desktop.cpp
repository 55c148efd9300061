#include "app/qt_desktop.h"

#include <cstring>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

#include "base/exceptions.h"

namespace scalopex::app {

namespace {

constexpr const char* kClipboardFailure = "Cannot open clipboard";

// Engine messages break lines with a lone carriage return.
QString DisplayText(const std::string& text)
{
    QString result = QString::fromStdString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

QMessageBox::Icon BoxIcon(platform::MessageIcon icon)
{
    switch (icon) {
    case platform::MessageIcon::Error:
        return QMessageBox::Critical;
    case platform::MessageIcon::Warning:
        return QMessageBox::Warning;
    case platform::MessageIcon::Information:
        return QMessageBox::Information;
    case platform::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A copy of the rows in the Qt format of the same byte order; the fourth
// byte of 4-byte pixels is made opaque, as Format_RGB32 expects.
QImage RowsToImage(const platform::TDesktopImage& rows)
{
    const bool wide = rows.bytesPerPixel == 4;
    QImage image(rows.width, rows.height, wide ? QImage::Format_RGB32 : QImage::Format_BGR888);
    if (image.isNull())
        throw base::EOutOfResources();
    for (int y = 0; y < rows.height; ++y) {
        const std::span<const std::uint8_t> row = rows.Row(y);
        std::uint8_t* line = image.scanLine(y);
        std::memcpy(line, row.data(), row.size());
        if (wide)
            for (std::size_t x = 3; x < row.size(); x += 4)
                line[x] = 0xFF;
    }
    return image;
}

}  // namespace

std::string FailureText(const std::string& message)
{
    // UTF-8 continuation and lead bytes are all above '.', like the
    // characters they encode.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

void TQtDesktop::MessageBox(const std::string& text, const std::string& title, platform::MessageIcon icon)
{
    QMessageBox box(BoxIcon(icon), QString::fromStdString(title), DisplayText(text), QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // Centred on the screen, above the always-on-top window.
    box.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        box.move(screen->availableGeometry().center() - box.rect().center());
    box.exec();
}

std::optional<std::string> TQtDesktop::ClipboardFirstFile()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        throw base::Exception(kClipboardFailure);
    const QMimeData* data = clipboard->mimeData();
    if (data == nullptr || !data->hasUrls())
        return std::nullopt;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile().toStdString();
    return std::nullopt;
}

void TQtDesktop::ClipboardSetImage(const platform::TDesktopImage& image)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        throw base::Exception(kClipboardFailure);
    if (image.width == 0 || image.height == 0)
        throw base::Exception(kClipboardFailure);  // nothing another program could paste
    if (!image.Valid())
        throw base::EInternalError("Clipboard image rows do not match its size");
    clipboard->setImage(RowsToImage(image));
}

void TQtDesktop::ShowWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TQtDesktop::RestoreCursor()
{
    QApplication::restoreOverrideCursor();
}

void TQtDesktop::ProcessPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtDesktop::ShellOpen(const std::string& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void TQtDesktop::ShellExplore(const std::string& folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

std::optional<std::string> TQtDesktop::PickFolder(const std::string& title)
{
    // The desktop folder where there is one, else the home folder: a start
    // folder that does not exist leaves the dialog without a choice to make.
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (start.isEmpty() || !QDir(start).exists())
        start = QDir::homePath();
    const QString folder = QFileDialog::getExistingDirectory(m_owner, QString::fromStdString(title), start,
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return folder.toStdString();
}

}  // namespace scalopex::app
