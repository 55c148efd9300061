#pragma once
/// The desktop services of the engine, given by Qt: message boxes, the
/// clipboard, the wait cursor, pending events, opening files and folders
/// with the desktop's programs, and the folder picker.

#include <string>

#include "platform/desktop.h"

class QWidget;

namespace scalopex::app {

/// The text an unhandled failure shows: its message, with a full stop added
/// when the last character's code is above that of '.'.
std::string FailureText(const std::string& message);

class TQtDesktop : public platform::IDesktopServices {
public:
    /// owner parents the folder picker; it may be null.
    explicit TQtDesktop(QWidget* owner = nullptr) : m_owner(owner) {}
    void SetOwner(QWidget* owner) { m_owner = owner; }

    void MessageBox(const std::string& text, const std::string& title, platform::MessageIcon icon) override;
    std::optional<std::string> ClipboardFirstFile() override;
    void ClipboardSetImage(const platform::TDesktopImage& image) override;
    void ShowWaitCursor() override;
    void RestoreCursor() override;
    void ProcessPendingEvents() override;
    void ShellOpen(const std::string& path) override;
    void ShellExplore(const std::string& folder) override;
    std::optional<std::string> PickFolder(const std::string& title) override;

private:
    QWidget* m_owner;
};

}  // namespace scalopex::app
