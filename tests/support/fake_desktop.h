#pragma once
// A recording stand-in for the desktop services.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace scalopex::test {

class FakeDesktop : public platform::IDesktopServices {
public:
    struct Message {
        std::string text;
        std::string title;
        platform::MessageIcon icon;
    };
    /// A copy of an image put on the clipboard.
    struct ClipboardImage {
        int width = 0;
        int height = 0;
        int bytesPerPixel = 0;  // as handed over
        /// Blue, green, red of every pixel, rows from the top, no padding.
        std::vector<std::uint8_t> bgr;

        /// Colour of pixel (x, y) as 0xRRGGBB.
        std::uint32_t PixelRGB(int x, int y) const;
    };

    void MessageBox(const std::string& text, const std::string& title, platform::MessageIcon icon) override;
    std::optional<std::string> ClipboardFirstFile() override;
    void ClipboardSetImage(const platform::TDesktopImage& image) override;
    void ShowWaitCursor() override { ++waitCursorShown; }
    void RestoreCursor() override { ++cursorRestored; }
    void ProcessPendingEvents() override;
    void ShellOpen(const std::string& path) override { opened.push_back(path); }
    void ShellExplore(const std::string& folder) override { explored.push_back(folder); }
    std::optional<std::string> PickFolder(const std::string& title) override;

    // What the code under test did.
    std::vector<Message> messages;
    std::vector<ClipboardImage> clipboardImages;
    std::vector<std::string> opened;
    std::vector<std::string> explored;
    std::vector<std::string> pickerTitles;
    int waitCursorShown = 0;
    int cursorRestored = 0;
    int pendingEventCalls = 0;

    // What the desktop answers.
    std::optional<std::string> clipboardFile;
    bool clipboardFails = false;
    std::optional<std::string> pickedFolder;
    /// Called from ProcessPendingEvents, to play user input during a run.
    std::function<void()> onPendingEvents;
};

}  // namespace scalopex::test
