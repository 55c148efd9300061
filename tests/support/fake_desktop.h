#pragma once
// A recording stand-in for the desktop services.

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

    void MessageBox(const std::string& text, const std::string& title, platform::MessageIcon icon) override;
    std::optional<std::string> ClipboardFirstFile() override;
    void ClipboardSetImage(const std::vector<std::uint8_t>& bmpFile) override;
    void ShowWaitCursor() override { ++waitCursorShown; }
    void RestoreCursor() override { ++cursorRestored; }
    void ProcessPendingEvents() override;
    void ShellOpen(const std::string& path) override { opened.push_back(path); }
    void ShellExplore(const std::string& folder) override { explored.push_back(folder); }
    std::optional<std::string> PickFolder(const std::string& title) override;

    // What the code under test did.
    std::vector<Message> messages;
    std::vector<std::vector<std::uint8_t>> clipboardImages;
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
