#include "tests/support/fake_desktop.h"

#include <gtest/gtest.h>

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

std::uint32_t FakeDesktop::ClipboardImage::PixelRGB(int x, int y) const
{
    const std::uint8_t* p = &bgr.at((static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
}

void FakeDesktop::ClipboardSetImage(const platform::TDesktopImage& image)
{
    if (clipboardFails)
        throw base::Exception("Cannot open clipboard");
    if (!image.Valid()) {
        ADD_FAILURE() << "clipboard image " << image.width << " x " << image.height << ", " << image.bytesPerPixel
                      << " bytes a pixel, stride " << image.stride << ", " << image.rows.size() << " bytes";
        return;
    }
    // Copied now: the rows are only valid during the call.
    ClipboardImage copy{image.width, image.height, image.bytesPerPixel, {}};
    copy.bgr.reserve(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
    const auto pixelBytes = static_cast<std::size_t>(image.bytesPerPixel);
    for (int y = 0; y < image.height; ++y) {
        const std::span<const std::uint8_t> row = image.Row(y);
        for (std::size_t at = 0; at < row.size(); at += pixelBytes)
            copy.bgr.insert(copy.bgr.end(), row.data() + at, row.data() + at + 3);
    }
    clipboardImages.push_back(std::move(copy));
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
