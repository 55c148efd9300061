#include "app/qt_desktop.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
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

void TQtDesktop::ClipboardSetImage(const std::vector<std::uint8_t>& bmpFile)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        throw base::Exception(kClipboardFailure);
    const QImage image = QImage::fromData(bmpFile.data(), static_cast<int>(bmpFile.size()), "BMP");
    if (image.isNull())
        throw base::Exception(kClipboardFailure);
    clipboard->setImage(image);
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
    const QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString folder = QFileDialog::getExistingDirectory(m_owner, QString::fromStdString(title), start,
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return folder.toStdString();
}

}  // namespace scalopex::app
