#include "tests/support/fake_desktop.h"

#include "base/exceptions.h"

namespace scalopex::test {

void FakeDesktop::MessageBox(const std::string& text, const std::string& title, platform::MessageIcon icon)
{
    messages.push_back({text, title, icon});
}

std::optional<std::string> FakeDesktop::ClipboardFirstFile()
{
    if (clipboardFails)
        throw base::Exception("Cannot open clipboard");
    return clipboardFile;
}

void FakeDesktop::ClipboardSetImage(const std::vector<std::uint8_t>& bmpFile)
{
    if (clipboardFails)
        throw base::Exception("Cannot open clipboard");
    clipboardImages.push_back(bmpFile);
}

void FakeDesktop::ProcessPendingEvents()
{
    ++pendingEventCalls;
    if (onPendingEvents)
        onPendingEvents();
}

std::optional<std::string> FakeDesktop::PickFolder(const std::string& title)
{
    pickerTitles.push_back(title);
    return pickedFolder;
}

}  // namespace scalopex::test
