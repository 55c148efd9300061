#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyledItemDelegate>
#include <QUrl>

#include <span>

#include "app/preview.h"
#include "app/qt_desktop.h"
#include "app/spin_edit.h"
#include "base/exceptions.h"
#include "base/paths.h"
#include "core/opening.h"
#include "core/scaling.h"
#include "files/folder_lister.h"
#include "files/ini_file.h"
#include "files/settings.h"
#include "output/parallel_runs.h"
#include "output/saving.h"

namespace scalopex::app {

namespace {

constexpr int kClientWidth = 561;
constexpr int kClientHeight = 330;
constexpr int kListRowHeight = 17;
const QColor kSlot2Colour(0xF4, 0xF4, 0xF4);
const QColor kSlot3Colour(0xEA, 0xEA, 0xEA);

constexpr const char* kHintFileName = "Current file name";
constexpr const char* kHintSuffix = "File suffix";
constexpr const char* kHintActive = "Actived choice";
constexpr const char* kHintMax = "Maximum dimension";
constexpr const char* kHintDest = "Destination folder if not source folder";
constexpr const char* kHintDestButton = "Select alternate destination folder";
constexpr const char* kHintFormat = "Saved graphic format - NC = no change";

// Every row of the file list is the same height.
class TRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), kListRowHeight);
    }
};

template <typename T>
T* Place(T* control, const char* name, int left, int top, int width, int height, const char* hint)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    if (hint != nullptr)
        control->setStatusTip(QString::fromLatin1(hint));
    return control;
}

// The background of an edit field, or of a check box.
void SetColour(QWidget* control, const QColor& colour)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::All, QPalette::Base, colour);
    palette.setColor(QPalette::All, QPalette::Window, colour);
    control->setPalette(palette);
    if (qobject_cast<QCheckBox*>(control) != nullptr)
        control->setAutoFillBackground(true);
}

QComboBox* MakeCombo(QWidget* parent, std::span<const char* const> entries, int selected)
{
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const char* entry : entries)
        combo->addItem(QString::fromLatin1(entry));
    combo->setCurrentIndex(selected);
    return combo;
}

// The entry whose text the box shows, or -1 when its text names none.
int ComboIndex(const QComboBox* combo)
{
    const int index = combo->currentIndex();
    if (index >= 0 && combo->itemText(index) == combo->currentText())
        return index;
    return combo->findText(combo->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void SetComboIndex(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    if (combo->currentIndex() < 0)
        combo->setEditText(QString());
}

// Characters below '!' (spaces and control characters) are trimmed from
// both ends of a dropped path.
std::string TrimDroppedPath(const std::string& path)
{
    std::size_t first = 0;
    std::size_t last = path.size();
    while (first < last && static_cast<unsigned char>(path[first]) < 33)
        ++first;
    while (last > first && static_cast<unsigned char>(path[last - 1]) < 33)
        --last;
    return path.substr(first, last - first);
}

}  // namespace

TForm1::TForm1(TWindowOptions options)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      m_options(std::move(options)), m_runner(*this, output::AvailableCores())
{
    if (m_options.desktop != nullptr) {
        m_desktop = m_options.desktop;
    } else {
        m_qtDesktop = std::make_unique<TQtDesktop>(this);
        m_desktop = m_qtDesktop.get();
    }
    m_lister = std::make_unique<files::TFolderLister>([this](std::uint64_t generation, const std::string& path) {
        // Runs on the worker: the entry is appended on the window's thread.
        const QString entry = QString::fromStdString(path);
        QMetaObject::invokeMethod(
            this, [this, generation, entry] { AppendListEntry(generation, entry); }, Qt::QueuedConnection);
    });

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setFixedSize(kClientWidth, kClientHeight);
    QFont font = QApplication::font();
    if (QFontDatabase::families().contains(QStringLiteral("Segoe UI")))
        font.setFamily(QStringLiteral("Segoe UI"));
    font.setPixelSize(13);
    font.setWeight(QFont::Normal);
    setFont(font);
    CreateControls();
    SetTabOrder();

    // Drops anywhere on the window reach the window, not the edit fields.
    for (QWidget* child : findChildren<QWidget*>())
        child->setAcceptDrops(false);
    setAcceptDrops(true);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // Key preview, double-clicks on the edit fields and no tooltips.
    qApp->installEventFilter(this);

    FormCreate();
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
    m_picture.OnChange = nullptr;
    m_lister.reset();
}

void TForm1::CreateControls()
{
    m_edit1 = Place(new QLineEdit(this), "Edit1", 16, 7, 347, 25, kHintFileName);
    m_edit1->setReadOnly(true);
    SetColour(m_edit1, palette().color(QPalette::Button));
    connect(m_edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });

    m_button5 = Place(new QPushButton(QStringLiteral("+"), this), "Button5", 433, 11, 17, 17, "Select all");
    m_button5->setProperty("tag", 1);
    m_button6 = Place(new QPushButton(QStringLiteral("-"), this), "Button6", 457, 11, 17, 17, "Deselect all");
    m_button6->setProperty("tag", 0);
    for (QPushButton* button : {m_button5, m_button6})
        connect(button, &QPushButton::clicked, this, [this, button] { Button5Click(button); });

    m_button3 = Place(new QPushButton(QStringLiteral("Refresh"), this), "Button3", 486, 7, 57, 25, "Refresh file list");
    m_button3->setEnabled(false);
    connect(m_button3, &QPushButton::clicked, this, [this] { Guarded([this] { Button3Click(); }); });

    m_panel1 = Place(new QFrame(this), "Panel1", 16, 43, 200, 140, nullptr);
    m_panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel1->setLineWidth(2);
    m_image1 = Place(new TPreview(m_panel1), "Image1", 2, 2, 196, 136, nullptr);
    m_image1->OnDoubleClick = [this] { Guarded([this] { Image1DblClick(); }); };

    m_listBox1 = Place(new QListWidget(this), "ListBox1", 224, 42, 321, 106, "Files from selected folder");
    m_listBox1->setItemDelegate(new TRowDelegate(m_listBox1));
    m_listBox1->setUniformItemSizes(true);
    m_listBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Long paths are cut at the right edge, as in a plain list box.
    m_listBox1->setTextElideMode(Qt::ElideNone);
    m_listBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(m_listBox1, &QListWidget::itemSelectionChanged, this, [this] { Guarded([this] { ListBox1Click(); }); });

    // STOP lies under GO ALL; only one of the two is shown at a time.
    m_button7 = Place(new QPushButton(QStringLiteral("STOP!"), this), "Button7", 225, 160, 57, 25, "Stop processing files");
    m_button7->setVisible(false);
    connect(m_button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    m_button4 = Place(new QPushButton(QStringLiteral("GO ALL"), this), "Button4", 225, 160, 57, 25, "Process all checked files");
    connect(m_button4, &QPushButton::clicked, this, [this] { Button4Click(); });

    m_defaultFormat = Place(MakeCombo(this, files::kDefaultFormats, 1), "DefaultFormat", 291, 160, 53,
                            25, "Default format if file cannot be saved in source format");
    m_warnings = Place(new QCheckBox(QStringLiteral("Wrngs"), this), "Warnings", 354, 164, 65, 17,
                       "Show warning when image cannot be saved in source format");
    m_copyOnly = Place(new QCheckBox(QStringLiteral("Copy"), this), "CopyOnly", 424, 164, 59, 17, "Copy only choice one");
    connect(m_copyOnly, &QCheckBox::toggled, this, [this] { CopyOnlyClick(); });
    m_button1 = Place(new QPushButton(QStringLiteral("GO"), this), "Button1", 486, 160, 57, 25, "Process single file");
    connect(m_button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    struct SlotLayout {
        const char* suffixName;
        const char* suffix;
        const char* activeName;
        const char* spinName;
        int maxDimension;
        const char* destName;
        const char* buttonName;
        int buttonLeft;
        const char* formatName;
        int top;
    };
    static constexpr SlotLayout kLayout[3] = {
        {"Edit2", "_lge", "DoOne", "SpinEdit1", 800, "Dest1", "Button8", 429, "GFormat1", 199},
        {"Edit3", "_med", "DoTwo", "SpinEdit2", 250, "Dest2", "Button9", 429, "GFormat2", 231},
        {"Edit4", "_sml", "DoThree", "SpinEdit3", 120, "Dest3", "Button10", 430, "GFormat3", 263},
    };
    for (int i = 0; i < 3; ++i) {
        const SlotLayout& l = kLayout[i];
        TSlotControls& s = m_slots[i];
        const int top = l.top;
        s.suffix = Place(new QLineEdit(QString::fromLatin1(l.suffix), this), l.suffixName, 17, top, 63, 25, kHintSuffix);
        s.active = Place(new QCheckBox(this), l.activeName, 95, top + 3, 15, 17, kHintActive);
        s.maxDimension = Place(new TSpinEdit(this), l.spinName, 118, top, 57, 27, kHintMax);
        if (i == 0)
            s.maxDimension->SetLimits(0, files::kSlot1MaxLimit);
        s.maxDimension->SetValue(l.maxDimension);
        s.dest = Place(new QLineEdit(this), l.destName, 186, top + 1, 241, 25, kHintDest);
        s.destButton = Place(new QPushButton(QStringLiteral("Dest"), this), l.buttonName, l.buttonLeft, top + 1, 47, 25,
                             kHintDestButton);
        s.format = Place(MakeCombo(this, files::kFormatNames, 0), l.formatName, 486, top + 2, 57,
                         25, kHintFormat);
        connect(s.destButton, &QPushButton::clicked, this, [this, i] { Guarded([this, i] { DestButtonClick(i); }); });
        if (i > 0) {
            s.suffix->setEnabled(false);
            s.maxDimension->setEnabled(false);
            for (QWidget* control : {static_cast<QWidget*>(s.suffix), static_cast<QWidget*>(s.active),
                                     static_cast<QWidget*>(s.maxDimension), static_cast<QWidget*>(s.dest)})
                SetColour(control, i == 1 ? kSlot2Colour : kSlot3Colour);
        }
    }
    m_slots[0].active->setChecked(true);
    connect(m_slots[1].active, &QCheckBox::toggled, this, [this] { DoTwoClick(); });
    connect(m_slots[2].active, &QCheckBox::toggled, this, [this] { DoThreeClick(); });

    m_statusBar1 = Place(new QStatusBar(this), "StatusBar1", 0, 305, 561, 25, nullptr);
    m_statusBar1->setSizeGripEnabled(false);
}

void TForm1::SetTabOrder()
{
    // The controls in the order of their tab positions.
    const std::vector<QWidget*> order = {
        m_edit1,           m_slots[0].maxDimension, m_button1,          m_slots[1].maxDimension, m_slots[0].suffix,
        m_slots[1].suffix, m_slots[0].active,       m_slots[1].active,  m_panel1,                m_copyOnly,
        m_slots[2].suffix, m_slots[2].active,       m_slots[2].maxDimension, m_slots[0].format,  m_listBox1,
        m_button3,         m_button4,               m_button5,          m_button6,               m_button7,
        m_slots[0].dest,   m_slots[1].dest,         m_slots[2].dest,    m_slots[0].destButton,   m_slots[1].destButton,
        m_slots[2].destButton, m_defaultFormat,     m_slots[1].format,  m_slots[2].format,       m_warnings,
    };
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// ---- Start-up and closing

void TForm1::FormCreate()
{
    m_picture.OnChange = [this](core::TPicture&) { PictureChanged(); };
    // The status bar follows the hints through the window's status tip events.
    if (!m_options.arguments.empty()) {
        // A file that cannot be opened is reported and start-up goes on, so
        // the stored settings are still read (and written back at closing).
        const std::string& path = m_options.arguments.front();
        try {
            ShowFile(path);
        } catch (const std::exception& e) {
            ShowFailure(e.what());
        }
        Guarded([&] { ListFolder(path); });
    }
    try {
        const std::string settingsPath =
            m_options.settingsPath.empty() ? files::SettingsFilePath(files::ExecutablePath()) : m_options.settingsPath;
        auto ini = std::make_unique<files::TIniFile>(settingsPath);
        files::TSettings settings = Settings();
        files::LoadSettings(*ini, settings);
        // Only settings that were read are written back at closing, so a
        // start-up failure never overwrites the stored ones with defaults.
        m_ini = std::move(ini);
        for (int i = 0; i < 3; ++i) {
            const files::TSlotSettings& slot = settings.slots[static_cast<std::size_t>(i)];
            TSlotControls& s = m_slots[i];
            s.suffix->setText(QString::fromStdString(slot.suffix));
            s.maxDimension->SetValue(slot.maxDimension);
            s.dest->setText(QString::fromStdString(slot.destFolder));
            SetComboIndex(s.format, slot.formatIndex);
        }
        SetComboIndex(m_defaultFormat, settings.defaultIndex);
        m_warnings->setChecked(settings.warnings);
    } catch (const std::exception& e) {
        ShowFailure(e.what());
    }
}

void TForm1::FormClose()
{
    // A batch still running ends with the window.
    if (m_runner.Running())
        m_runner.Stop();
    if (m_ini == nullptr)
        return;
    Guarded([this] { files::SaveSettings(*m_ini, Settings()); });
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

// ---- The run host

const files::TSettings& TForm1::Settings() const
{
    for (int i = 0; i < 3; ++i) {
        files::TSlotSettings& slot = m_settings.slots[static_cast<std::size_t>(i)];
        const TSlotControls& s = m_slots[i];
        slot.suffix = s.suffix->text().toStdString();
        slot.maxDimension = s.maxDimension->Value();
        slot.destFolder = s.dest->text().toStdString();
        slot.formatIndex = ComboIndex(s.format);
    }
    m_settings.defaultIndex = ComboIndex(m_defaultFormat);
    m_settings.warnings = m_warnings->isChecked();
    return m_settings;
}

bool TForm1::SlotActive(int slot) const
{
    const QCheckBox* box = m_slots[slot].active;
    return box->isChecked() && (slot == 0 || box->isEnabled());
}

bool TForm1::CopyOnly() const
{
    return m_copyOnly->isChecked();
}

std::string TForm1::CurrentFile() const
{
    return m_edit1->text().toStdString();
}

void TForm1::SetCurrentFile(const std::string& path)
{
    m_edit1->setText(QString::fromStdString(path));
}

int TForm1::FileCount() const
{
    return m_listBox1->count();
}

std::string TForm1::FileName(int index) const
{
    return m_listBox1->item(index)->text().toStdString();
}

bool TForm1::FileChecked(int index) const
{
    return m_listBox1->item(index)->checkState() == Qt::Checked;
}

void TForm1::RepaintPreview()
{
    if (m_previewStale) {
        m_previewStale = false;
        QImage image;
        if (const core::TGraphic* graphic = m_picture.Graphic()) {
            if (const auto* bitmap = dynamic_cast<const core::TBitmap*>(graphic)) {
                image = BitmapToImage(*bitmap);
            } else {
                std::unique_ptr<core::TBitmap> drawn = core::GraphicToBitmap(graphic);
                image = BitmapToImage(*drawn);
            }
        }
        m_image1->SetImage(std::move(image));
    } else {
        m_image1->repaint();
    }
}

void TForm1::SetBatchRunning(bool running)
{
    m_button4->setVisible(!running);
    m_button7->setVisible(running);
    m_batchProgress = running && m_batchProgress;
    if (!running)
        m_statusBar1->clearMessage();  // the hints come back
}

void TForm1::ShowBatchProgress(int n, int total, const std::string& name)
{
    m_batchProgress = true;
    m_statusBar1->showMessage(QStringLiteral("%1 of %2: %3").arg(n).arg(total).arg(QString::fromStdString(name)));
}

// ---- Displays

void TForm1::PictureChanged()
{
    m_previewStale = true;
    setWindowTitle(QStringLiteral("%1 (%2 x %3 pixels)")
                       .arg(QString::fromLatin1(kCaption))
                       .arg(m_picture.Width())
                       .arg(m_picture.Height()));
}

void TForm1::SetStatusText(const QString& hint)
{
    // A hint's long part follows its vertical bar, if it has one.
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    const QString text = bar < 0 ? hint : hint.mid(bar + 1);
    if (text.isEmpty())
        m_statusBar1->clearMessage();
    else
        m_statusBar1->showMessage(text);
}

bool TForm1::event(QEvent* event)
{
    // The hint of the control under the mouse (empty over one without).
    if (event->type() == QEvent::StatusTip) {
        // During GO ALL the status bar shows the run's progress instead.
        if (!m_batchProgress)
            SetStatusText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QWidget::event(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::KeyPress:
        if (widget->window() == this) {
            // A key that a child ignores travels on to its parents; it is
            // handled once, when it first arrives.
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool travelling = event == m_lastKeyPress && key->key() == m_lastKey && watched != m_lastKeyReceiver &&
                                    m_lastKeyReceiver != nullptr && m_lastKeyReceiver->isWidgetType() &&
                                    widget->isAncestorOf(static_cast<QWidget*>(m_lastKeyReceiver.data()));
            if (!travelling) {
                m_lastKeyPress = event;
                m_lastKey = key->key();
                m_lastKeyReceiver = watched;
                Guarded([this, key] { FormKeyDown(key->key(), key->modifiers()); });
            }
        }
        return false;
    case QEvent::KeyRelease:
        m_lastKeyPress = nullptr;
        return false;
    case QEvent::ToolTip:
        // Hints show in the status bar only.
        return widget->window() == this;
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        if (watched == m_edit1)
            Guarded([this] { Edit1DblClick(); });
        for (int i = 0; i < 3; ++i)
            if (watched == m_slots[i].dest)
                Guarded([this, i] { DestDblClick(i); });
        return false;
    default:
        return false;
    }
}

// ---- Failures

void TForm1::ShowFailure(const std::string& message)
{
    m_desktop->MessageBox(FailureText(message), output::kApplicationTitle, platform::MessageIcon::Error);
}

void TForm1::Guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        ShowFailure(e.what());
    }
}

// ---- Files arriving

void TForm1::ShowFile(const std::string& path)
{
    m_edit1->setText(QString::fromStdString(path));
    // Until the file opens, the preview holds another file's image.
    m_lastOpenFailed = true;
    {
        std::unique_ptr<core::TBitmap> bitmap = core::LoadGraphicAsBitmap(path);
        m_picture.Assign(bitmap.get());
    }
    m_lastOpenFailed = false;
    RepaintPreview();
}

void TForm1::ListFolder(const std::string& path)
{
    {
        const QSignalBlocker blocker(m_listBox1);
        m_listBox1->clear();
    }
    m_lister->ListFolder(path);
}

void TForm1::AppendListEntry(std::uint64_t generation, const QString& path)
{
    if (!m_lister->IsCurrent(generation))
        return;
    auto* item = new QListWidgetItem(path);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    const QSignalBlocker blocker(m_listBox1);
    m_listBox1->addItem(item);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    Guarded([this, &paths] { DropFiles(paths); });
}

void TForm1::DropFiles(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return;
    const std::string path = TrimDroppedPath(paths.front());
    if (!core::IsGraphicFile(path))
        return;
    ShowFile(path);
    ListFolder(path);
}

void TForm1::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (!(modifiers & Qt::ControlModifier) || key != Qt::Key_V)
        return;
    const std::optional<std::string> path = m_desktop->ClipboardFirstFile();
    if (!path || !core::IsGraphicFile(*path))
        return;
    ShowFile(*path);
    ListFolder(*path);
}

void TForm1::ListBox1Click()
{
    const QList<QListWidgetItem*> selected = m_listBox1->selectedItems();
    if (selected.isEmpty())
        return;
    QListWidgetItem* item = selected.front();
    const std::string path = item->text().toStdString();
    if (base::FileExists(path)) {
        ShowFile(path);
        return;
    }
    // A vanished file leaves the list; no other entry becomes selected.
    const QSignalBlocker blocker(m_listBox1);
    delete item;
    m_listBox1->setCurrentItem(nullptr);
    m_listBox1->clearSelection();
}

// ---- Buttons and boxes

void TForm1::Button5Click(QPushButton* sender)
{
    const Qt::CheckState state = sender->property("tag").toInt() == 1 ? Qt::Checked : Qt::Unchecked;
    for (int i = 0; i < m_listBox1->count(); ++i)
        m_listBox1->item(i)->setCheckState(state);
}

void TForm1::Button3Click()
{
    if (!m_edit1->text().isEmpty())
        ListFolder(m_edit1->text().toStdString());
}

void TForm1::Edit1Change()
{
    m_button3->setEnabled(!m_edit1->text().isEmpty());
}

void TForm1::DestButtonClick(int slot)
{
    const std::optional<std::string> folder = m_desktop->PickFolder(kPickFolderTitle);
    if (folder)
        m_slots[slot].dest->setText(QString::fromStdString(base::IncludeTrailingBackslash(*folder)));
}

void TForm1::Edit1DblClick()
{
    if (!m_edit1->text().isEmpty())
        m_desktop->ShellOpen(m_edit1->text().toStdString());
}

void TForm1::DestDblClick(int slot)
{
    const QString folder = m_slots[slot].dest->text();
    if (!folder.isEmpty())
        m_desktop->ShellExplore(folder.toStdString());
}

void TForm1::Image1DblClick()
{
    core::TBitmap& bitmap = m_picture.Bitmap();
    if (bitmap.Empty())
        return;
    core::RotateClockwise(bitmap);
    RepaintPreview();
}

void TForm1::CopyOnlyClick()
{
    m_slots[1].active->setEnabled(!m_copyOnly->isChecked());
    m_slots[2].active->setEnabled(m_slots[1].active->isEnabled());
}

void TForm1::DoTwoClick()
{
    m_slots[1].suffix->setEnabled(m_slots[1].active->isChecked());
    m_slots[1].maxDimension->setEnabled(m_slots[1].suffix->isEnabled());
}

void TForm1::DoThreeClick()
{
    m_slots[2].suffix->setEnabled(m_slots[2].active->isChecked());
    m_slots[2].maxDimension->setEnabled(m_slots[2].suffix->isEnabled());
}

// ---- Runs

void TForm1::Button1Click()
{
    Guarded([this] { m_runner.Go(); });
}

void TForm1::Button4Click()
{
    Guarded([this] { m_runner.GoAll(); });
}

void TForm1::Button7Click()
{
    m_runner.Stop();
}

}  // namespace scalopex::app
