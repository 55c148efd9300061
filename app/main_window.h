#pragma once
/// TForm1: the program's one window. It holds the controls of the output
/// slots, the file list and the preview, reacts to drops, Ctrl+V, clicks and
/// double-clicks, and runs GO, GO ALL and STOP through the engine's runner.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "core/picture.h"
#include "files/settings.h"
#include "output/runs.h"
#include "platform/desktop.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;

namespace scalopex::files {
class TFolderLister;
class TIniFile;
}  // namespace scalopex::files

namespace scalopex::app {

class TPreview;
class TQtDesktop;
class TSpinEdit;

/// How the window starts.
struct TWindowOptions {
    /// The command-line arguments after the program's name.
    std::vector<std::string> arguments;
    /// The settings file; empty for the executable's own.
    std::string settingsPath;
    /// The desktop services to use (not owned); null for the window's Qt ones.
    platform::IDesktopServices* desktop = nullptr;
};

/// The application title, which titles every message box.
inline constexpr const char* kCaption = "Scalopex";
/// The title of the folder picker of the Dest buttons.
inline constexpr const char* kPickFolderTitle = "Select destination folder";

class TForm1 : public QWidget, public output::IRunHost {
public:
    explicit TForm1(TWindowOptions options);
    ~TForm1() override;

    // IRunHost
    const files::TSettings& Settings() const override;
    bool SlotActive(int slot) const override;
    bool CopyOnly() const override;
    std::string CurrentFile() const override;
    void SetCurrentFile(const std::string& path) override;
    bool LastOpenFailed() const override { return m_lastOpenFailed; }
    void SetLastOpenFailed(bool failed) override { m_lastOpenFailed = failed; }
    void ShowBatchProgress(int n, int total, const std::string& name) override;
    int FileCount() const override;
    std::string FileName(int index) const override;
    bool FileChecked(int index) const override;
    core::TPicture& Picture() override { return m_picture; }
    void RepaintPreview() override;
    void SetBatchRunning(bool running) override;
    void FileWritten(const std::string&) override {}
    platform::IDesktopServices& Desktop() override { return *m_desktop; }

    /// Whether start-up read the settings file (and closing will write it).
    bool SettingsLoaded() const { return m_ini != nullptr; }
    /// The folder listing in progress, so tests can wait for it.
    files::TFolderLister& Lister() { return *m_lister; }

    // Handlers, named after control and event.
    void FormCreate();
    void FormClose();
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void DropFiles(const std::vector<std::string>& paths);
    void ListBox1Click();
    void Button5Click(QPushButton* sender);
    void Button3Click();
    void Edit1Change();
    void DestButtonClick(int slot);
    void Edit1DblClick();
    void DestDblClick(int slot);
    void Image1DblClick();
    void CopyOnlyClick();
    void DoTwoClick();
    void DoThreeClick();
    void Button1Click();
    void Button4Click();
    void Button7Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct TSlotControls {
        QLineEdit* suffix = nullptr;
        QCheckBox* active = nullptr;
        TSpinEdit* maxDimension = nullptr;
        QLineEdit* dest = nullptr;
        QPushButton* destButton = nullptr;
        QComboBox* format = nullptr;
    };

    void CreateControls();
    void SetTabOrder();
    void ShowFile(const std::string& path);
    void ListFolder(const std::string& path);
    void AppendListEntry(std::uint64_t generation, const QString& path);
    void ShowFailure(const std::string& message);
    /// Runs handler; an escaping failure is shown as an unhandled one.
    void Guarded(const std::function<void()>& handler);
    void LoadSettingsIntoControls();
    void PictureChanged();
    void SetStatusText(const QString& hint);

    TWindowOptions m_options;
    std::unique_ptr<TQtDesktop> m_qtDesktop;
    platform::IDesktopServices* m_desktop = nullptr;
    core::TPicture m_picture;
    bool m_previewStale = true;
    std::unique_ptr<files::TIniFile> m_ini;
    bool m_lastOpenFailed = false;
    bool m_batchProgress = false;  // the status bar shows GO ALL's progress
    mutable files::TSettings m_settings;
    output::TRunner m_runner;

    // The key press last handed to FormKeyDown, so that its propagation to
    // the parents of its receiver is not handled again.
    const QEvent* m_lastKeyPress = nullptr;
    int m_lastKey = 0;
    QPointer<QObject> m_lastKeyReceiver;

    QLineEdit* m_edit1 = nullptr;
    QPushButton* m_button5 = nullptr;
    QPushButton* m_button6 = nullptr;
    QPushButton* m_button3 = nullptr;
    QFrame* m_panel1 = nullptr;
    TPreview* m_image1 = nullptr;
    QListWidget* m_listBox1 = nullptr;
    QPushButton* m_button7 = nullptr;
    QPushButton* m_button4 = nullptr;
    QComboBox* m_defaultFormat = nullptr;
    QCheckBox* m_warnings = nullptr;
    QCheckBox* m_copyOnly = nullptr;
    QPushButton* m_button1 = nullptr;
    TSlotControls m_slots[3];
    QStatusBar* m_statusBar1 = nullptr;

    // Last, so its workers stop before anything they report to goes away.
    std::unique_ptr<files::TFolderLister> m_lister;
};

}  // namespace scalopex::app
