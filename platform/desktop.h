#pragma once
/// The desktop services the engine calls: message boxes, clipboard, wait
/// cursor, pending events and opening files or folders with the desktop's
/// programs. The window implements them with its toolkit; tests use a fake.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace scalopex::platform {

enum class MessageIcon { None, Error, Warning, Information };

/// An image handed to the desktop as rows of pixels, the top row first. The
/// pixels belong to the caller and need only stay valid during the call.
struct TDesktopImage {
    int width = 0;
    int height = 0;
    /// 3: blue, green, red; 4: blue, green, red and a fourth byte that is
    /// ignored (the image is opaque).
    int bytesPerPixel = 3;
    /// Bytes from the start of one row to the start of the next.
    std::size_t stride = 0;
    /// All height rows: at least stride × (height - 1) + width × bytesPerPixel bytes.
    std::span<const std::uint8_t> rows;

    /// True when the image has pixels, 3 or 4 bytes each, and rows holds
    /// every row; only then may Row be called, for 0 <= y < height.
    bool Valid() const
    {
        if (width <= 0 || height <= 0 || (bytesPerPixel != 3 && bytesPerPixel != 4))
            return false;
        const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel);
        if (stride < rowBytes || rows.size() < rowBytes)
            return false;
        // The last row needs rowBytes, every other one stride (no overflow for huge sizes).
        return (rows.size() - rowBytes) / stride >= static_cast<std::size_t>(height - 1);
    }
    /// The width × bytesPerPixel bytes of row y (0 is the top).
    std::span<const std::uint8_t> Row(int y) const
    {
        return rows.subspan(static_cast<std::size_t>(y) * stride,
                            static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel));
    }
};

class IDesktopServices {
public:
    virtual ~IDesktopServices() = default;

    /// A modal box with one OK button; returns when it is closed.
    virtual void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) = 0;

    /// The first local file of a copied file list, or nothing when the
    /// clipboard holds no file list. Throws when the clipboard cannot be opened
    /// ("Cannot open clipboard").
    virtual std::optional<std::string> ClipboardFirstFile() = 0;
    /// Puts a copy of image on the clipboard as an image, so other programs
    /// can paste it. Throws when the clipboard cannot be opened ("Cannot open
    /// clipboard").
    virtual void ClipboardSetImage(const TDesktopImage& image) = 0;

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
