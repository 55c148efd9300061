#pragma once
/// The desktop services the engine calls: message boxes, clipboard, wait
/// cursor, pending events and opening files or folders with the desktop's
/// programs. The window implements them with its toolkit; tests use a fake.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scalopex::platform {

enum class MessageIcon { None, Error, Warning, Information };

class IDesktopServices {
public:
    virtual ~IDesktopServices() = default;

    /// A modal box with one OK button; returns when it is closed.
    virtual void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) = 0;

    /// The first local file of a copied file list, or nothing when the
    /// clipboard holds no file list. Throws when the clipboard cannot be opened
    /// ("Cannot open clipboard").
    virtual std::optional<std::string> ClipboardFirstFile() = 0;
    /// Puts an image on the clipboard, given as a complete BMP file image
    /// (which carries its palette), so other programs can paste it.
    virtual void ClipboardSetImage(const std::vector<std::uint8_t>& bmpFile) = 0;

    /// Shows the wait cursor; RestoreCursor brings the saved one back.
    virtual void ShowWaitCursor() = 0;
    virtual void RestoreCursor() = 0;

    /// Handles pending input, painting and queued work before returning.
    virtual void ProcessPendingEvents() = 0;

    /// Opens a file, or shows a folder, with the desktop's default program.
    virtual void ShellOpen(const std::string& path) = 0;
    virtual void ShellExplore(const std::string& folder) = 0;

    /// Lets the user pick a folder; nothing when cancelled.
    virtual std::optional<std::string> PickFolder(const std::string& title) = 0;
};

}  // namespace scalopex::platform
