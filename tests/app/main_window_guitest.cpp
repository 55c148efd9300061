// The window driven through its real widgets on Qt's offscreen platform.

#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/preview.h"
#include "app/qt_desktop.h"
#include "app/spin_edit.h"
#include "base/exceptions.h"
#include "core/bitmap.h"
#include "core/opening.h"
#include "files/folder_lister.h"
#include "formats/registry.h"
#include "output/slot_job.h"

using namespace scalopex;
using app::TForm1;

namespace {

// The Qt desktop with the parts that would wait for a person, or start
// other programs, recorded instead.
class TRecordingDesktop : public app::TQtDesktop {
public:
    struct Message {
        std::string text;
        std::string title;
        platform::MessageIcon icon;
    };

    void MessageBox(const std::string& text, const std::string& title, platform::MessageIcon icon) override
    {
        messages.push_back({text, title, icon});
    }
    void ShellOpen(const std::string& path) override { opened.push_back(path); }
    void ShellExplore(const std::string& folder) override { explored.push_back(folder); }
    std::optional<std::string> PickFolder(const std::string& title) override
    {
        pickerTitles.push_back(title);
        return pickedFolder;
    }
    void ProcessPendingEvents() override
    {
        TQtDesktop::ProcessPendingEvents();
        ++pendingCalls;
        if (onPendingEvents)
            onPendingEvents(pendingCalls);
    }

    std::vector<Message> messages;
    std::vector<std::string> opened;
    std::vector<std::string> explored;
    std::vector<std::string> pickerTitles;
    std::optional<std::string> pickedFolder;
    int pendingCalls = 0;
    std::function<void(int)> onPendingEvents;
};

// A 24-bit BMP of width × height with a colour ramp.
void WriteBmp(const std::string& path, int width, int height)
{
    core::TBitmap bitmap;
    bitmap.SetPixelFormat(core::pf24bit);
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x);
            row[3 * x + 1] = static_cast<std::uint8_t>(y);
            row[3 * x + 2] = static_cast<std::uint8_t>(x + y);
        }
    }
    bitmap.SaveToFile(path);
}

// Palette entries of the indexed test rasters: red, half green, dark blue.
const gdi::TLogPalette kPalette = {{255, 0, 0, 0}, {0, 128, 0, 0}, {10, 20, 200, 0}};

QColor PaletteColor(int index)
{
    const gdi::TPaletteEntry& e = kPalette[static_cast<std::size_t>(index)];
    return QColor(e.peRed, e.peGreen, e.peBlue);
}

// An indexed raster (1, 4 or 8 bits) whose pixel (x, y) takes palette entry
// (x + y) modulo the number of entries (two for 1 bit, else three).
std::unique_ptr<core::TBitmap> PalettedBitmap(core::TPixelFormat format, int width, int height)
{
    const int bits = format == core::pf1bit ? 1 : format == core::pf4bit ? 4 : 8;
    const int entries = bits == 1 ? 2 : 3;
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(format);
    bitmap->SetPalette(gdi::TLogPalette(kPalette.begin(), kPalette.begin() + entries));
    bitmap->SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        std::memset(row, 0, bitmap->RowBytes());
        for (int x = 0; x < width; ++x) {
            const int at = x * bits;
            row[at / 8] |= static_cast<std::uint8_t>(((x + y) % entries) << (8 - bits - at % 8));
        }
    }
    return bitmap;
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

bool Exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

// The size of an image file as "W x H".
QString ImageSize(const std::string& path)
{
    std::unique_ptr<core::TBitmap> bitmap = core::LoadGraphicAsBitmap(path);
    return QStringLiteral("%1 x %2").arg(bitmap->Width()).arg(bitmap->Height());
}

std::set<std::string> ListEntries(const QListWidget* list)
{
    std::set<std::string> entries;
    for (int i = 0; i < list->count(); ++i)
        entries.insert(list->item(i)->text().toStdString());
    return entries;
}

QString Caption(int width, int height)
{
    return QStringLiteral("Scalopex (%1 x %2 pixels)").arg(width).arg(height);
}

}  // namespace

class TMainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    TRecordingDesktop m_desktop;

    std::string Path(const std::string& name) const { return m_dir->filePath(QString::fromStdString(name)).toStdString(); }
    std::string SettingsPath() const { return Path("settings/scalopex.ini"); }

    std::unique_ptr<TForm1> Start(std::vector<std::string> arguments = {})
    {
        app::TWindowOptions options;
        options.arguments = std::move(arguments);
        options.settingsPath = SettingsPath();
        options.desktop = &m_desktop;
        auto window = std::make_unique<TForm1>(std::move(options));
        m_desktop.SetOwner(window.get());
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("window not exposed");
        return window;
    }

    template <typename T>
    static T* Control(TForm1& window, const char* name)
    {
        T* control = window.findChild<T*>(QString::fromLatin1(name));
        if (control == nullptr)
            qFatal("no control %s", name);
        return control;
    }

    // Waits for the folder listing and for its entries to reach the list.
    static void WaitForList(TForm1& window, int count)
    {
        window.Lister().Wait();
        auto* list = Control<QListWidget>(window, "ListBox1");
        QTRY_COMPARE(list->count(), count);
    }

    static void Drop(TForm1& window, const std::vector<std::string>& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        data.setUrls(urls);
        const QPointF at(280, 100);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
    }

    static void CopyFileToClipboard(const std::string& path)
    {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QGuiApplication::clipboard()->setMimeData(data);
    }

    static void ClickEntry(QListWidget* list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }

    // Three pictures a.bmp (640 × 480), b.bmp (300 × 200) and c.bmp
    // (120 × 160) and a note.txt in the folder "pics".
    std::string MakePictures()
    {
        std::filesystem::create_directories(Path("pics"));
        WriteBmp(Path("pics/a.bmp"), 640, 480);
        WriteBmp(Path("pics/b.bmp"), 300, 200);
        WriteBmp(Path("pics/c.bmp"), 120, 160);
        WriteText(Path("pics/note.txt"), "not a picture");
        return Path("pics/");
    }

private Q_SLOTS:
    void initTestCase()
    {
        formats::RegisterFileFormats();
        QApplication::setApplicationName(QStringLiteral("Scalopex"));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        std::filesystem::create_directories(Path("settings"));
        m_desktop = TRecordingDesktop();
        QGuiApplication::clipboard()->clear();
    }

    void cleanup() { m_dir.reset(); }

    void ControlsStartAsLaidOut()
    {
        auto window = Start();
        QCOMPARE(window->windowTitle(), QStringLiteral("Scalopex"));
        QCOMPARE(window->size(), QSize(561, 330));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));

        struct Row {
            const char* name;
            QRect geometry;
            const char* text;
            const char* hint;
            bool enabled;
        };
        const Row rows[] = {
            {"Edit1", {16, 7, 347, 25}, "", "Current file name", true},
            {"Button5", {433, 11, 17, 17}, "+", "Select all", true},
            {"Button6", {457, 11, 17, 17}, "-", "Deselect all", true},
            {"Button3", {486, 7, 57, 25}, "Refresh", "Refresh file list", false},
            {"Panel1", {16, 43, 200, 140}, nullptr, "", true},
            {"Image1", {2, 2, 196, 136}, nullptr, "", true},
            {"ListBox1", {224, 42, 321, 106}, nullptr, "Files from selected folder", true},
            {"Button7", {225, 160, 57, 25}, "STOP!", "Stop processing files", true},
            {"Button4", {225, 160, 57, 25}, "GO ALL", "Process all checked files", true},
            {"DefaultFormat", {291, 160, 53, 25}, ".jpg", "Default format if file cannot be saved in source format", true},
            {"Warnings", {354, 164, 65, 17}, "Wrngs", "Show warning when image cannot be saved in source format", true},
            {"CopyOnly", {424, 164, 59, 17}, "Copy", "Copy only choice one", true},
            {"Button1", {486, 160, 57, 25}, "GO", "Process single file", true},
            {"Edit2", {17, 199, 63, 25}, "_lge", "File suffix", true},
            {"DoOne", {95, 202, 15, 17}, "", "Actived choice", true},
            {"SpinEdit1", {118, 199, 57, 27}, "800", "Maximum dimension", true},
            {"Dest1", {186, 200, 241, 25}, "", "Destination folder if not source folder", true},
            {"Button8", {429, 200, 47, 25}, "Dest", "Select alternate destination folder", true},
            {"GFormat1", {486, 201, 57, 25}, "NC", "Saved graphic format - NC = no change", true},
            {"Edit3", {17, 231, 63, 25}, "_med", "File suffix", false},
            {"DoTwo", {95, 234, 15, 17}, "", "Actived choice", true},
            {"SpinEdit2", {118, 231, 57, 27}, "250", "Maximum dimension", false},
            {"Dest2", {186, 232, 241, 25}, "", "Destination folder if not source folder", true},
            {"Button9", {429, 232, 47, 25}, "Dest", "Select alternate destination folder", true},
            {"GFormat2", {486, 233, 57, 25}, "NC", "Saved graphic format - NC = no change", true},
            {"Edit4", {17, 263, 63, 25}, "_sml", "File suffix", false},
            {"DoThree", {95, 266, 15, 17}, "", "Actived choice", true},
            {"SpinEdit3", {118, 263, 57, 27}, "120", "Maximum dimension", false},
            {"Dest3", {186, 264, 241, 25}, "", "Destination folder if not source folder", true},
            {"Button10", {430, 264, 47, 25}, "Dest", "Select alternate destination folder", true},
            {"GFormat3", {486, 265, 57, 25}, "NC", "Saved graphic format - NC = no change", true},
            {"StatusBar1", {0, 305, 561, 25}, nullptr, "", true},
        };
        for (const Row& row : rows) {
            auto* control = Control<QWidget>(*window, row.name);
            const QByteArray what(row.name);
            QVERIFY2(control->geometry() == row.geometry, what);
            QVERIFY2(control->statusTip() == QString::fromLatin1(row.hint), what);
            QVERIFY2(control->toolTip().isEmpty(), what);
            QVERIFY2(control->isEnabled() == row.enabled, what);
            if (row.text == nullptr)
                continue;
            QString text;
            if (auto* edit = qobject_cast<QLineEdit*>(control))
                text = edit->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(control))
                text = button->text();
            else if (auto* combo = qobject_cast<QComboBox*>(control))
                text = combo->currentText();
            else if (auto* spin = qobject_cast<QAbstractSpinBox*>(control))
                text = spin->text();
            QVERIFY2(text == QString::fromLatin1(row.text), what);
        }

        // States, colours, limits and entries.
        QVERIFY(Control<QLineEdit>(*window, "Edit1")->isReadOnly());
        QVERIFY(Control<QCheckBox>(*window, "DoOne")->isChecked());
        for (const char* name : {"DoTwo", "DoThree", "Warnings", "CopyOnly"})
            QVERIFY2(!Control<QCheckBox>(*window, name)->isChecked(), name);
        QVERIFY(Control<QPushButton>(*window, "Button4")->isVisible());
        QVERIFY(!Control<QPushButton>(*window, "Button7")->isVisible());
        QCOMPARE(Control<QPushButton>(*window, "Button5")->property("tag").toInt(), 1);
        QCOMPARE(Control<QPushButton>(*window, "Button6")->property("tag").toInt(), 0);
        for (const char* name : {"Edit3", "DoTwo", "SpinEdit2", "Dest2"})
            QVERIFY2(Control<QWidget>(*window, name)->palette().color(QPalette::Base) == QColor(0xF4, 0xF4, 0xF4), name);
        for (const char* name : {"Edit4", "DoThree", "SpinEdit3", "Dest3"})
            QVERIFY2(Control<QWidget>(*window, name)->palette().color(QPalette::Base) == QColor(0xEA, 0xEA, 0xEA), name);
        auto* spin1 = Control<app::TSpinEdit>(*window, "SpinEdit1");
        QCOMPARE(spin1->MinValue(), 0);
        QCOMPARE(spin1->MaxValue(), 1500);
        auto* spin2 = Control<app::TSpinEdit>(*window, "SpinEdit2");
        QCOMPARE(spin2->MinValue(), spin2->MaxValue());
        const auto entries = [](QComboBox* combo) {
            QStringList list;
            for (int i = 0; i < combo->count(); ++i)
                list << combo->itemText(i);
            return list.join(QLatin1Char(' '));
        };
        QCOMPARE(entries(Control<QComboBox>(*window, "DefaultFormat")), QStringLiteral(".bmp .jpg .png .gif .tga"));
        QCOMPARE(Control<QComboBox>(*window, "DefaultFormat")->currentIndex(), 1);
        for (const char* name : {"GFormat1", "GFormat2", "GFormat3"})
            QVERIFY2(entries(Control<QComboBox>(*window, name)) == QStringLiteral("NC BMP JPEG PNG GIF TGA"), name);

        // The tab order runs through the controls by their tab positions.
        const QStringList expected = {
            "Edit1",   "SpinEdit1", "Button1",  "SpinEdit2", "Edit2",   "Edit3",   "DoOne",    "DoTwo",
            "Panel1",  "CopyOnly",  "Edit4",    "DoThree",   "SpinEdit3", "GFormat1", "ListBox1", "Button3",
            "Button4", "Button5",   "Button6",  "Button7",   "Dest1",   "Dest2",   "Dest3",    "Button8",
            "Button9", "Button10",  "DefaultFormat", "GFormat2", "GFormat3", "Warnings"};
        QStringList chain;
        QWidget* widget = Control<QWidget>(*window, "Edit1");
        for (int guard = 0; guard < 200 && chain.size() < expected.size(); ++guard) {
            const QString name = widget->objectName();
            if (expected.contains(name) && !chain.contains(name))
                chain << name;
            widget = widget->nextInFocusChain();
        }
        QCOMPARE(chain, expected);
        QVERIFY(m_desktop.messages.empty());
    }

    void StartsWithoutFileReadsSettings()
    {
        auto window = Start();
        QCOMPARE(window->windowTitle(), QStringLiteral("Scalopex"));
        QVERIFY(Control<app::TPreview>(*window, "Image1")->Image().isNull());
        QCOMPARE(Control<QListWidget>(*window, "ListBox1")->count(), 0);
        QVERIFY(window->SettingsLoaded());
        // A new settings file holds just the byte-order mark.
        QFile file(QString::fromStdString(SettingsPath()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\xFF\xFE"));
    }

    void StartsWithFileShowingItAndListingItsFolder()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "a.bmp"});
        QCOMPARE(window->windowTitle(), Caption(640, 480));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), pics + "a.bmp");
        QVERIFY(Control<QPushButton>(*window, "Button3")->isEnabled());
        QCOMPARE(Control<app::TPreview>(*window, "Image1")->Image().size(), QSize(640, 480));
        WaitForList(*window, 3);
        const std::set<std::string> expected = {pics + "a.bmp", pics + "b.bmp", pics + "c.bmp"};
        auto* list = Control<QListWidget>(*window, "ListBox1");
        QCOMPARE(ListEntries(list), expected);
        QCOMPARE(list->visualItemRect(list->item(1)).height(), 17);
        QVERIFY(window->SettingsLoaded());
        QVERIFY(m_desktop.messages.empty());
    }

    void StartsWithUndecodableFileStillReadingTheSettings()
    {
        WriteText(SettingsPath(), "[Settings]\r\nBig=_stored\r\nBig_Size=640\r\n");
        const std::string bad = Path("broken.bmp");
        WriteText(bad, std::string(200, 'x'));
        auto window = Start({bad});
        QCOMPARE(m_desktop.messages.size(), std::size_t{1});
        QCOMPARE(m_desktop.messages[0].text, std::string("Bitmap image is not valid."));
        QCOMPARE(m_desktop.messages[0].title, std::string("Scalopex"));
        QVERIFY(m_desktop.messages[0].icon == platform::MessageIcon::Error);
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), bad);
        QCOMPARE(window->windowTitle(), QStringLiteral("Scalopex"));
        // Start-up went on: the stored settings are in the controls.
        QCOMPARE(Control<QLineEdit>(*window, "Edit2")->text(), QStringLiteral("_stored"));
        QCOMPARE(Control<app::TSpinEdit>(*window, "SpinEdit1")->Value(), 640);
        QVERIFY(window->SettingsLoaded());
        // GO writes nothing for the file that did not open, and says so.
        Control<QPushButton>(*window, "Button1")->click();
        QCOMPARE(m_desktop.messages.size(), std::size_t{2});
        QCOMPARE(m_desktop.messages[1].text, bad + " could not be opened; nothing was written.");
        QVERIFY(!QFile::exists(QString::fromStdString(Path("broken_stored.bmp"))));
        // What the user changes is written back at closing.
        Control<QLineEdit>(*window, "Edit2")->setText(QStringLiteral("_changed"));
        window->close();
        QFile file(QString::fromStdString(SettingsPath()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("_changed"));
    }

    void DropOpensOnlyTheFirstFile()
    {
        const std::string pics = MakePictures();
        std::filesystem::create_directories(Path("other"));
        WriteBmp(Path("other/d.bmp"), 50, 40);
        auto window = Start();
        Drop(*window, {Path("other/d.bmp"), pics + "a.bmp", pics + "b.bmp"});
        QCOMPARE(window->windowTitle(), Caption(50, 40));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), Path("other/d.bmp"));
        WaitForList(*window, 1);
        QCOMPARE(Control<QListWidget>(*window, "ListBox1")->item(0)->text().toStdString(), Path("other/d.bmp"));
    }

    void DropOfTextFileChangesNothing()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "b.bmp"});
        WaitForList(*window, 3);
        Drop(*window, {pics + "note.txt", pics + "a.bmp"});
        QCOMPARE(window->windowTitle(), Caption(300, 200));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), pics + "b.bmp");
        QCOMPARE(Control<QListWidget>(*window, "ListBox1")->count(), 3);
        QVERIFY(m_desktop.messages.empty());
    }

    void DropOfUnreadableFileReportsItAndKeepsTheList()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "b.bmp"});
        WaitForList(*window, 3);
        // ".rl" passes the test (it occurs in "*.rle") but opens nothing.
        const std::string unknown = Path("photo.rl");
        WriteText(unknown, "data");
        Drop(*window, {unknown});
        QCOMPARE(m_desktop.messages.size(), std::size_t{1});
        QCOMPARE(m_desktop.messages[0].text, std::string("Unknown picture file extension (.rl)"));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), unknown);
        QCOMPARE(window->windowTitle(), Caption(300, 200));
        QCOMPARE(Control<QListWidget>(*window, "ListBox1")->count(), 3);
    }

    void PasteOpensCopiedFile_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Ctrl+V") << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+Shift+V") << int(Qt::ControlModifier | Qt::ShiftModifier);
    }

    void PasteOpensCopiedFile()
    {
        QFETCH(int, modifiers);
        const std::string pics = MakePictures();
        auto window = Start();
        CopyFileToClipboard(pics + "c.bmp");
        QTest::keyClick(Control<QLineEdit>(*window, "Edit2"), Qt::Key_V, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(window->windowTitle(), Caption(120, 160));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), pics + "c.bmp");
        WaitForList(*window, 3);
        QVERIFY(m_desktop.messages.empty());
    }

    void PasteOfTextFileOrPlainVChangesNothing()
    {
        const std::string pics = MakePictures();
        auto window = Start();
        CopyFileToClipboard(pics + "note.txt");
        QTest::keyClick(Control<QLineEdit>(*window, "Edit2"), Qt::Key_V, Qt::ControlModifier);
        CopyFileToClipboard(pics + "a.bmp");
        QTest::keyClick(Control<QLineEdit>(*window, "Dest1"), Qt::Key_V);
        QCOMPARE(window->windowTitle(), QStringLiteral("Scalopex"));
        QVERIFY(Control<QLineEdit>(*window, "Edit1")->text().isEmpty());
        // The plain V still reached the field.
        QCOMPARE(Control<QLineEdit>(*window, "Dest1")->text(), QStringLiteral("v"));
    }

    void PasteIsHandledOnceWhileTheKeyTravelsToParents()
    {
        auto window = Start();
        const std::string broken = Path("broken.bmp");
        WriteText(broken, std::string(64, 'x'));
        CopyFileToClipboard(broken);
        // A button ignores the key, which then travels on to the window.
        QTest::keyClick(Control<QPushButton>(*window, "Button1"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_desktop.messages.size(), std::size_t{1});
        QCOMPARE(m_desktop.messages[0].text, std::string("Bitmap image is not valid."));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), broken);
    }

    void ListClickOpensExistingAndRemovesVanishedEntries()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "a.bmp"});
        WaitForList(*window, 3);
        auto* list = Control<QListWidget>(*window, "ListBox1");
        // A file that appears now must not show up: clicking never refills.
        WriteBmp(pics + "e.bmp", 10, 10);
        int vanished = -1;
        int existing = -1;
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->text().toStdString() == pics + "b.bmp")
                vanished = i;
            if (list->item(i)->text().toStdString() == pics + "c.bmp")
                existing = i;
        }
        std::filesystem::remove(pics + "b.bmp");
        ClickEntry(list, vanished);
        QCOMPARE(list->count(), 2);
        QCOMPARE(window->windowTitle(), Caption(640, 480));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), pics + "a.bmp");
        if (existing > vanished)
            --existing;
        ClickEntry(list, existing);
        QCOMPARE(window->windowTitle(), Caption(120, 160));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), pics + "c.bmp");
        QTest::qWait(50);
        QCOMPARE(list->count(), 2);
        QVERIFY(m_desktop.messages.empty());
    }

    void PlusChecksAndMinusClearsEveryEntry()
    {
        auto empty = Start();
        QTest::mouseClick(Control<QPushButton>(*empty, "Button5"), Qt::LeftButton);
        QTest::mouseClick(Control<QPushButton>(*empty, "Button6"), Qt::LeftButton);
        empty.reset();

        const std::string pics = MakePictures();
        auto window = Start({pics + "a.bmp"});
        WaitForList(*window, 3);
        auto* list = Control<QListWidget>(*window, "ListBox1");
        list->item(1)->setCheckState(Qt::Checked);
        QTest::mouseClick(Control<QPushButton>(*window, "Button5"), Qt::LeftButton);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(list->item(i)->checkState(), Qt::Checked);
        QTest::mouseClick(Control<QPushButton>(*window, "Button6"), Qt::LeftButton);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(list->item(i)->checkState(), Qt::Unchecked);
    }

    void RefreshRelistsTheCurrentFolder()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "a.bmp"});
        WaitForList(*window, 3);
        WriteBmp(pics + "e.bmp", 10, 10);
        QTest::mouseClick(Control<QPushButton>(*window, "Button3"), Qt::LeftButton);
        WaitForList(*window, 4);
    }

    void CheckBoxesEnableOnlyTheirControls()
    {
        auto window = Start();
        auto* copy = Control<QCheckBox>(*window, "CopyOnly");
        auto* two = Control<QCheckBox>(*window, "DoTwo");
        auto* three = Control<QCheckBox>(*window, "DoThree");
        const auto enabled = [&](const char* name) { return Control<QWidget>(*window, name)->isEnabled(); };

        QTest::mouseClick(two, Qt::LeftButton);
        QVERIFY(enabled("Edit3") && enabled("SpinEdit2"));
        QTest::mouseClick(three, Qt::LeftButton);
        QVERIFY(enabled("Edit4") && enabled("SpinEdit3"));

        QTest::mouseClick(copy, Qt::LeftButton);
        QVERIFY(!enabled("DoTwo") && !enabled("DoThree"));
        // The slot fields and check marks stay as they were.
        QVERIFY(enabled("Edit3") && enabled("SpinEdit2") && enabled("Edit4") && enabled("SpinEdit3"));
        QVERIFY(two->isChecked() && three->isChecked());
        QVERIFY(!window->SlotActive(1) && !window->SlotActive(2));
        for (const char* name : {"Edit2", "DoOne", "SpinEdit1", "Dest1", "Dest2", "Dest3", "Button8", "Button9",
                                 "Button10", "GFormat1", "GFormat2", "GFormat3", "DefaultFormat", "Warnings"})
            QVERIFY2(enabled(name), name);

        QTest::mouseClick(copy, Qt::LeftButton);
        QVERIFY(enabled("DoTwo") && enabled("DoThree"));
        QVERIFY(window->SlotActive(1) && window->SlotActive(2));
        QTest::mouseClick(two, Qt::LeftButton);
        QVERIFY(!enabled("Edit3") && !enabled("SpinEdit2"));
        QVERIFY(enabled("Edit4"));
    }

    void DoubleClickOnPreviewRotatesTheWorkingImage()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "a.bmp"});
        auto* image = Control<app::TPreview>(*window, "Image1");
        QTest::mouseDClick(image, Qt::LeftButton);
        QCOMPARE(window->windowTitle(), Caption(480, 640));
        QCOMPARE(image->Image().size(), QSize(480, 640));
        // The former bottom-left pixel is now at the top left.
        QCOMPARE(image->Image().pixelColor(0, 0), QColor(479 & 0xFF, 479 & 0xFF, 0));
    }

    void DoubleClickOnEmptyPreviewRotatesNothing()
    {
        auto window = Start();
        QTest::mouseDClick(Control<app::TPreview>(*window, "Image1"), Qt::LeftButton);
        QCOMPARE(window->windowTitle(), Caption(0, 0));
        QVERIFY(m_desktop.messages.empty());
    }

    void DoubleClickOnBoxesOpensFileAndFolders()
    {
        const std::string pics = MakePictures();
        auto window = Start();
        QTest::mouseDClick(Control<QLineEdit>(*window, "Edit1"), Qt::LeftButton);
        QTest::mouseDClick(Control<QLineEdit>(*window, "Dest2"), Qt::LeftButton);
        QVERIFY(m_desktop.opened.empty() && m_desktop.explored.empty());
        Drop(*window, {pics + "a.bmp"});
        Control<QLineEdit>(*window, "Dest2")->setText(QString::fromStdString(pics));
        QTest::mouseDClick(Control<QLineEdit>(*window, "Edit1"), Qt::LeftButton);
        QTest::mouseDClick(Control<QLineEdit>(*window, "Dest2"), Qt::LeftButton);
        QCOMPARE(m_desktop.opened, std::vector<std::string>{pics + "a.bmp"});
        QCOMPARE(m_desktop.explored, std::vector<std::string>{pics});
    }

    void DestButtonsPickFolders()
    {
        auto window = Start();
        m_desktop.pickedFolder = std::string("/srv/out");
        QTest::mouseClick(Control<QPushButton>(*window, "Button8"), Qt::LeftButton);
        m_desktop.pickedFolder = std::string("/");
        QTest::mouseClick(Control<QPushButton>(*window, "Button9"), Qt::LeftButton);
        m_desktop.pickedFolder = std::nullopt;
        Control<QLineEdit>(*window, "Dest3")->setText(QStringLiteral("/kept/"));
        QTest::mouseClick(Control<QPushButton>(*window, "Button10"), Qt::LeftButton);
        QCOMPARE(Control<QLineEdit>(*window, "Dest1")->text(), QStringLiteral("/srv/out/"));
        QCOMPARE(Control<QLineEdit>(*window, "Dest2")->text(), QStringLiteral("/"));
        QCOMPARE(Control<QLineEdit>(*window, "Dest3")->text(), QStringLiteral("/kept/"));
        QCOMPARE(m_desktop.pickerTitles, std::vector<std::string>(3, "Select destination folder"));
    }

    void GoWritesTheActiveSlots()
    {
        const std::string pics = MakePictures();
        std::filesystem::create_directories(Path("small"));
        auto window = Start({pics + "a.bmp"});
        QTest::mouseClick(Control<QCheckBox>(*window, "DoTwo"), Qt::LeftButton);
        QTest::mouseClick(Control<QCheckBox>(*window, "DoThree"), Qt::LeftButton);
        Control<QLineEdit>(*window, "Dest3")->setText(QString::fromStdString(Path("small")));
        Control<app::TSpinEdit>(*window, "SpinEdit1")->SetValue(320);
        Control<QComboBox>(*window, "GFormat2")->setCurrentIndex(1);
        QTest::mouseClick(Control<QPushButton>(*window, "Button1"), Qt::LeftButton);
        QVERIFY(m_desktop.messages.empty());
        QCOMPARE(ImageSize(pics + "a_lge.bmp"), QStringLiteral("320 x 240"));
        QCOMPARE(ImageSize(pics + "a_med.bmp"), QStringLiteral("250 x 188"));
        QCOMPARE(ImageSize(Path("small/a_sml.bmp")), QStringLiteral("120 x 90"));
        // A second GO never replaces the first outputs.
        QTest::mouseClick(Control<QPushButton>(*window, "Button1"), Qt::LeftButton);
        QVERIFY(Exists(pics + "a_lge[1].bmp"));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void GoAfterAFailedOpenWritesNothing()
    {
        const std::string pics = MakePictures();
        WriteText(pics + "d.bmp", std::string(100, 'x'));
        auto window = Start({pics + "a.bmp"});
        WaitForList(*window, 4);
        auto* list = Control<QListWidget>(*window, "ListBox1");
        int broken = -1;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().toStdString() == pics + "d.bmp")
                broken = i;
        ClickEntry(list, broken);
        QCOMPARE(m_desktop.messages.size(), std::size_t{1});
        QCOMPARE(window->windowTitle(), Caption(640, 480));  // the preview keeps a.bmp
        QTest::mouseClick(Control<QPushButton>(*window, "Button1"), Qt::LeftButton);
        QCOMPARE(m_desktop.messages.size(), std::size_t{2});
        QCOMPARE(m_desktop.messages[1].text, pics + "d.bmp could not be opened; nothing was written.");
        QVERIFY(!Exists(pics + "d_lge.bmp"));
        QVERIFY(!Exists(pics + "a_lge.bmp"));
        // Opening a good file again lets GO write.
        ClickEntry(list, list->row(list->findItems(QString::fromStdString(pics + "c.bmp"), Qt::MatchExactly).front()));
        QTest::mouseClick(Control<QPushButton>(*window, "Button1"), Qt::LeftButton);
        QVERIFY(Exists(pics + "c_lge.bmp"));
        QCOMPARE(m_desktop.messages.size(), std::size_t{2});
    }

    void GoFailureIsShownWithFullStop()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "a.bmp"});
        // A destination folder that does not exist: the file cannot be created.
        const std::string missing = Path("missing/");
        Control<QLineEdit>(*window, "Dest1")->setText(QString::fromStdString(missing));
        QTest::mouseClick(Control<QPushButton>(*window, "Button1"), Qt::LeftButton);
        QCOMPARE(m_desktop.messages.size(), std::size_t{1});
        QCOMPARE(m_desktop.messages[0].text,
                 "Cannot create file \"" + missing + "a_lge.bmp\". No such file or directory.");
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void GoOnEmptyPreviewWritesNothing()
    {
        const std::string pics = MakePictures();
        auto window = Start();
        Control<QLineEdit>(*window, "Dest1")->setText(QString::fromStdString(pics));
        QTest::mouseClick(Control<QPushButton>(*window, "Button1"), Qt::LeftButton);
        QCOMPARE(window->windowTitle(), Caption(0, 0));
        QCOMPARE(std::distance(std::filesystem::directory_iterator(pics), std::filesystem::directory_iterator()), 4);
        QVERIFY(m_desktop.messages.empty());
    }

    void GoAllSkipsDeletedAndReportsUndecodableFiles()
    {
        const std::string pics = MakePictures();
        WriteText(pics + "d.bmp", std::string(100, 'x'));
        auto window = Start({pics + "a.bmp"});
        WaitForList(*window, 4);
        QTest::mouseClick(Control<QPushButton>(*window, "Button5"), Qt::LeftButton);
        std::filesystem::remove(pics + "b.bmp");
        QTest::mouseClick(Control<QPushButton>(*window, "Button4"), Qt::LeftButton);
        QVERIFY(Exists(pics + "a_lge.bmp"));
        QVERIFY(!Exists(pics + "b_lge.bmp"));
        QVERIFY(Exists(pics + "c_lge.bmp"));
        QCOMPARE(m_desktop.messages.size(), std::size_t{1});
        QCOMPARE(m_desktop.messages[0].text, std::string("Bitmap image is not valid"));
        QVERIFY(m_desktop.messages[0].icon == platform::MessageIcon::None);
        QVERIFY(Control<QPushButton>(*window, "Button4")->isVisible());
        QVERIFY(!Control<QPushButton>(*window, "Button7")->isVisible());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void StopEndsTheBatchAfterTheCurrentFile()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "a.bmp"});
        WaitForList(*window, 3);
        auto* list = Control<QListWidget>(*window, "ListBox1");
        list->sortItems();
        QTest::mouseClick(Control<QPushButton>(*window, "Button5"), Qt::LeftButton);
        bool stopShown = false;
        m_desktop.onPendingEvents = [&](int call) {
            // Before the second file: STOP stands where GO ALL was.
            if (call == 2) {
                auto* stop = Control<QPushButton>(*window, "Button7");
                stopShown = stop->isVisible() && !Control<QPushButton>(*window, "Button4")->isVisible();
                QTest::mouseClick(stop, Qt::LeftButton);
            }
        };
        QTest::mouseClick(Control<QPushButton>(*window, "Button4"), Qt::LeftButton);
        QVERIFY(stopShown);
        QVERIFY(Exists(pics + "a_lge.bmp"));
        QVERIFY(!Exists(pics + "b_lge.bmp"));
        QVERIFY(!Exists(pics + "c_lge.bmp"));
        QCOMPARE(Control<QLineEdit>(*window, "Edit1")->text().toStdString(), pics + "a.bmp");
        QVERIFY(Control<QPushButton>(*window, "Button4")->isVisible());
        QVERIFY(!Control<QPushButton>(*window, "Button7")->isVisible());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void ClosingDuringBatchEndsItAndKeepsSettings()
    {
        const std::string pics = MakePictures();
        auto window = Start({pics + "a.bmp"});
        WaitForList(*window, 3);
        Control<QListWidget>(*window, "ListBox1")->sortItems();
        QTest::mouseClick(Control<QPushButton>(*window, "Button5"), Qt::LeftButton);
        Control<QLineEdit>(*window, "Edit2")->setText(QStringLiteral("_closing"));
        m_desktop.onPendingEvents = [&](int call) {
            if (call == 2)
                window->close();
        };
        QTest::mouseClick(Control<QPushButton>(*window, "Button4"), Qt::LeftButton);
        QVERIFY(Exists(pics + "a_closing.bmp"));
        QVERIFY(!Exists(pics + "b_closing.bmp"));
        QVERIFY(!Exists(pics + "c_closing.bmp"));
        QFile file(QString::fromStdString(SettingsPath()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2)
                    .contains(QStringLiteral("_closing")));
    }

    void StatusBarShowsHintUnderMouse()
    {
        auto window = Start();
        auto* status = Control<QStatusBar>(*window, "StatusBar1");
        QTest::mouseMove(Control<QPushButton>(*window, "Button1"));
        QTRY_COMPARE(status->currentMessage(), QStringLiteral("Process single file"));
        auto* list = Control<QListWidget>(*window, "ListBox1");
        QTest::mouseMove(list->viewport());
        QTRY_COMPARE(status->currentMessage(), QStringLiteral("Files from selected folder"));
        QTest::mouseMove(Control<QWidget>(*window, "Image1"));
        QTRY_COMPARE(status->currentMessage(), QString());
    }

    void SettingsSurviveTwoRuns()
    {
        const std::string folder = Path("ausgabe \xC3\xBC/");
        {
            auto window = Start();
            Control<QLineEdit>(*window, "Edit2")->setText(QStringLiteral("_big"));
            Control<app::TSpinEdit>(*window, "SpinEdit1")->SetValue(1200);
            Control<app::TSpinEdit>(*window, "SpinEdit3")->SetValue(-5);
            Control<QLineEdit>(*window, "Dest2")->setText(QString::fromStdString(folder));
            Control<QComboBox>(*window, "GFormat3")->setCurrentIndex(1);
            Control<QComboBox>(*window, "DefaultFormat")->setCurrentIndex(0);
            Control<QCheckBox>(*window, "Warnings")->setChecked(true);
            // Check boxes of the slots and Copy are not kept.
            Control<QCheckBox>(*window, "DoTwo")->setChecked(true);
            window->close();
        }
        auto window = Start();
        QCOMPARE(Control<QLineEdit>(*window, "Edit2")->text(), QStringLiteral("_big"));
        QCOMPARE(Control<app::TSpinEdit>(*window, "SpinEdit1")->Value(), 1200);
        QCOMPARE(Control<app::TSpinEdit>(*window, "SpinEdit3")->Value(), -5);
        QCOMPARE(Control<QLineEdit>(*window, "Dest2")->text().toStdString(), folder);
        QCOMPARE(Control<QComboBox>(*window, "GFormat3")->currentText(), QStringLiteral("BMP"));
        QCOMPARE(Control<QComboBox>(*window, "DefaultFormat")->currentText(), QStringLiteral(".bmp"));
        QVERIFY(Control<QCheckBox>(*window, "Warnings")->isChecked());
        QVERIFY(!Control<QCheckBox>(*window, "DoTwo")->isChecked());
        QVERIFY(m_desktop.messages.empty());
    }

    void StoredValuesFollowTheControlsRules()
    {
        WriteText(SettingsPath(), "[Settings]\r\nBig_Size=2000\r\nMed_Size=2000\r\nFormat1=9\r\nDefault=7\r\n");
        auto window = Start();
        QCOMPARE(Control<app::TSpinEdit>(*window, "SpinEdit1")->Value(), 1500);
        QCOMPARE(Control<app::TSpinEdit>(*window, "SpinEdit2")->Value(), 2000);
        QCOMPARE(Control<QComboBox>(*window, "GFormat1")->currentIndex(), -1);
        QCOMPARE(Control<QComboBox>(*window, "GFormat1")->currentText(), QString());
        QCOMPARE(Control<QComboBox>(*window, "DefaultFormat")->currentText(), QString());
    }

    void FailureToSaveSettingsIsShownAndWindowCloses()
    {
        auto window = Start();
        // The settings file turns into a folder: the write is refused.
        std::filesystem::remove(SettingsPath());
        std::filesystem::create_directories(SettingsPath());
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
        QCOMPARE(m_desktop.messages.size(), std::size_t{1});
        QVERIFY(m_desktop.messages[0].icon == platform::MessageIcon::Error);
    }

    void SpinEditTakesOnlyNumbers()
    {
        auto window = Start();
        auto* spin = Control<app::TSpinEdit>(*window, "SpinEdit1");
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("1x2"));
        QCOMPARE(spin->text(), QStringLiteral("12"));
        QTest::keyClick(spin, Qt::Key_Up);
        QCOMPARE(spin->Value(), 13);
        QTest::keyClick(spin, Qt::Key_Down);
        QTest::keyClick(spin, Qt::Key_Down);
        QCOMPARE(spin->Value(), 11);
        QTest::keyClick(spin, Qt::Key_Return);
        QCOMPARE(spin->Value(), 11);
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("-"));
        QCOMPARE(spin->Value(), 0);  // not a number: the lower limit
        spin->SetValue(99999);
        QCOMPARE(spin->Value(), 1500);
        auto* unlimited = Control<app::TSpinEdit>(*window, "SpinEdit2");
        unlimited->SetValue(-7);
        QCOMPARE(unlimited->Value(), -7);
    }

    void FailureTextEndsWithFullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Stream read error" << "Stream read error.";
        QTest::newRow("digit") << "JPEG error #5" << "JPEG error #5.";
        QTest::newRow("full stop") << "Done." << "Done.";
        QTest::newRow("bang") << "Graphic type cannot be saved!" << "Graphic type cannot be saved!";
        QTest::newRow("bracket") << "Unknown picture file extension (.jp)" << "Unknown picture file extension (.jp)";
        QTest::newRow("paren") << "size (3)" << "size (3)";
        QTest::newRow("non-ASCII") << QString::fromUtf8("Fehler \xC3\xA4") << QString::fromUtf8("Fehler \xC3\xA4.");
        QTest::newRow("empty") << QString() << QString();
    }

    void FailureTextEndsWithFullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(app::FailureText(message.toStdString())), shown);
    }

    void PreviewFitsWithoutEnlarging_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QRect>("shown");
        QTest::newRow("small") << QSize(100, 50) << QRect(48, 43, 100, 50);
        QTest::newRow("exact") << QSize(196, 136) << QRect(0, 0, 196, 136);
        QTest::newRow("landscape refitted") << QSize(640, 480) << QRect(7, 0, 181, 136);
        QTest::newRow("wide") << QSize(1000, 100) << QRect(0, 58, 196, 19);
        QTest::newRow("portrait") << QSize(480, 640) << QRect(47, 0, 102, 136);
        QTest::newRow("square") << QSize(200, 200) << QRect(30, 0, 136, 136);
        QTest::newRow("tall only") << QSize(150, 400) << QRect(72, 0, 51, 136);
    }

    void PreviewFitsWithoutEnlarging()
    {
        QFETCH(QSize, image);
        QFETCH(QRect, shown);
        QCOMPARE(app::PreviewRect(image.width(), image.height(), 196, 136), shown);
    }

    void QtDesktopShowsPlainAndErrorBoxes()
    {
        app::TQtDesktop desktop;
        struct Seen {
            QString title, text;
            QMessageBox::Icon icon = QMessageBox::NoIcon;
            int buttons = 0;
        } seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            seen = {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())};
            box->button(QMessageBox::Ok)->click();
        });
        desktop.MessageBox("Line one\rLine two", "Scalopex", platform::MessageIcon::Error);
        QCOMPARE(seen.title, QStringLiteral("Scalopex"));
        QCOMPARE(seen.text, QStringLiteral("Line one\nLine two"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.buttons, 1);
    }

    void QtDesktopFolderPickerIsTitledAndCancels()
    {
        app::TQtDesktop desktop;
        QString title;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr)
                return;
            title = dialog->windowTitle();
            QMetaObject::invokeMethod(dialog, "reject");
        });
        QVERIFY(!desktop.PickFolder("Select destination folder"));
        QCOMPARE(title, QStringLiteral("Select destination folder"));
    }

    void QtDesktopClipboardCarriesFilesAndImages()
    {
        app::TQtDesktop desktop;
        QVERIFY(!desktop.ClipboardFirstFile());
        auto* data = new QMimeData;
        data->setUrls({QUrl(QStringLiteral("https://example.invalid/x.bmp")), QUrl::fromLocalFile(QStringLiteral("/p/a b.bmp")),
                       QUrl::fromLocalFile(QStringLiteral("/p/c.bmp"))});
        QGuiApplication::clipboard()->setMimeData(data);
        QCOMPARE(desktop.ClipboardFirstFile().value_or(""), std::string("/p/a b.bmp"));

        // Padded 3-byte rows: blue x, green y, red x + y.
        const int width = 7;
        const std::size_t stride = 24;
        std::vector<std::uint8_t> narrow(stride * 5, 0xEE);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = &narrow[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(3 * x)];
                p[0] = static_cast<std::uint8_t>(x);
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = static_cast<std::uint8_t>(x + y);
            }
        desktop.ClipboardSetImage({width, 5, 3, stride, narrow});
        QImage image = QGuiApplication::clipboard()->image();
        QCOMPARE(image.size(), QSize(7, 5));
        QCOMPARE(image.pixelColor(3, 2), QColor(5, 2, 3));
        QCOMPARE(image.pixelColor(6, 4), QColor(10, 4, 6));

        // 4-byte rows whose fourth byte is zero still give an opaque image.
        const std::vector<std::uint8_t> wide = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
        desktop.ClipboardSetImage({2, 2, 4, 8, wide});
        image = QGuiApplication::clipboard()->image();
        QCOMPARE(image.size(), QSize(2, 2));
        QCOMPARE(image.pixelColor(1, 0), QColor(6, 5, 4));
        QCOMPARE(image.pixelColor(0, 1), QColor(9, 8, 7));
        if (image.format() == QImage::Format_RGB32)  // its fourth byte must be 0xFF
            QCOMPARE(image.constScanLine(1)[7], std::uint8_t{0xFF});
        QVERIFY(!image.hasAlphaChannel());

        // Nothing to paste, and rows shorter than the size they claim.
        bool emptyRefused = false;
        try {
            desktop.ClipboardSetImage({});
        } catch (const base::Exception& e) {
            emptyRefused = std::string(e.what()) == "Cannot open clipboard";
        }
        QVERIFY(emptyRefused);
        bool shortRefused = false;
        try {
            desktop.ClipboardSetImage({2, 3, 4, 8, wide});
        } catch (const base::EInternalError&) {
            shortRefused = true;
        }
        QVERIFY(shortRefused);
    }

    void PreviewShowsThePaletteColoursOfIndexedRasters_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("1 bit") << static_cast<int>(core::pf1bit);
        QTest::newRow("4 bits") << static_cast<int>(core::pf4bit);
        QTest::newRow("8 bits") << static_cast<int>(core::pf8bit);
    }

    void PreviewShowsThePaletteColoursOfIndexedRasters()
    {
        QFETCH(int, format);
        const auto pixelFormat = static_cast<core::TPixelFormat>(format);
        const int entries = pixelFormat == core::pf1bit ? 2 : 3;
        // 11 pixels: rows end inside a byte for 1 and 4 bits.
        const QImage image = app::BitmapToImage(*PalettedBitmap(pixelFormat, 11, 3));
        QCOMPARE(image.size(), QSize(11, 3));
        QCOMPARE(image.format(), QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x) {
                QCOMPARE(image.pixelColor(x, y), PaletteColor((x + y) % entries));
                QCOMPARE(image.constScanLine(y)[4 * x + 3], std::uint8_t{0xFF});  // opaque, as Format_RGB32 expects
            }
    }

    void PalettedFileIsPreviewedAndCopiedInItsColours()
    {
        const std::string path = Path("paletted.bmp");
        PalettedBitmap(core::pf8bit, 6, 4)->SaveToFile(path);
        auto window = Start({path});
        const QImage& shown = Control<app::TPreview>(*window, "Image1")->Image();
        QCOMPARE(shown.size(), QSize(6, 4));
        QCOMPARE(shown.pixelColor(2, 1), PaletteColor(0));
        QCOMPARE(shown.pixelColor(4, 3), PaletteColor(1));
        QCOMPARE(shown.pixelColor(5, 0), PaletteColor(2));

        // GO with Copy only and no scaling: the image reaches the clipboard, no file is written.
        QTest::mouseClick(Control<QCheckBox>(*window, "CopyOnly"), Qt::LeftButton);
        Control<app::TSpinEdit>(*window, "SpinEdit1")->SetValue(0);
        QTest::mouseClick(Control<QPushButton>(*window, "Button1"), Qt::LeftButton);
        QVERIFY(m_desktop.messages.empty());
        const QImage pasted = QGuiApplication::clipboard()->image();
        QCOMPARE(pasted.size(), QSize(6, 4));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                QCOMPARE(pasted.pixelColor(x, y), PaletteColor((x + y) % 3));
        QVERIFY(!Exists(Path("paletted_lge.bmp")));
    }

    void CopyOnlySlotPutsIndexedRastersOnTheClipboardInTheirColours_data()
    {
        PreviewShowsThePaletteColoursOfIndexedRasters_data();
    }

    // The window works on 24-bit images; an indexed one reaches the
    // clipboard through the slot job's 24-bit copy.
    void CopyOnlySlotPutsIndexedRastersOnTheClipboardInTheirColours()
    {
        QFETCH(int, format);
        const auto pixelFormat = static_cast<core::TPixelFormat>(format);
        const int entries = pixelFormat == core::pf1bit ? 2 : 3;
        const std::unique_ptr<core::TBitmap> working = PalettedBitmap(pixelFormat, 11, 3);
        output::TSlotJob job;
        job.sourcePath = Path("p.bmp");
        job.copyOnly = true;
        app::TQtDesktop desktop;
        QCOMPARE(output::ProcessSlot(job, *working, desktop), std::string());
        const QImage pasted = QGuiApplication::clipboard()->image();
        QCOMPARE(pasted.size(), QSize(11, 3));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x)
                QCOMPARE(pasted.pixelColor(x, y), PaletteColor((x + y) % entries));
        QCOMPARE(working->PixelFormat(), pixelFormat);
    }
};

QTEST_MAIN(TMainWindowTest)
#include "main_window_guitest.moc"
