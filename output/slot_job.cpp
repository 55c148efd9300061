#include "output/slot_job.h"

#include <memory>

#include "base/paths.h"
#include "core/scaling.h"
#include "output/saving.h"

namespace scalopex::output {

namespace {

// The rows of a 24- or 32-bit bitmap as the desktop takes them.
platform::TDesktopImage RowsOf(const core::TBitmap& bitmap)
{
    platform::TDesktopImage rows;
    if (bitmap.Empty())
        return rows;
    const std::uint8_t* first = bitmap.ScanLineRead(0);
    rows.width = bitmap.Width();
    rows.height = bitmap.Height();
    rows.bytesPerPixel = bitmap.PixelFormat() == core::pf32bit ? 4 : 3;
    rows.stride = bitmap.RowBytes();
    rows.rows = {first, rows.stride * static_cast<std::size_t>(rows.height)};
    return rows;
}

// 24- and 32-bit rows go to the clipboard as they are; other pixel formats
// through a 24-bit copy.
void CopyToClipboard(const core::TBitmap& image, platform::IDesktopServices& desktop)
{
    const core::TPixelFormat format = image.PixelFormat();
    if (format == core::pf24bit || format == core::pf32bit) {
        desktop.ClipboardSetImage(RowsOf(image));
        return;
    }
    core::TBitmap copy;
    copy.Assign(&image);
    copy.SetPixelFormat(core::pf24bit);
    desktop.ClipboardSetImage(RowsOf(copy));
}

}  // namespace

std::string OutputName(const TSlotJob& job)
{
    const std::string sourceExt = base::ExtractFileExt(job.sourcePath);
    const bool sameFormat = base::LowerCase(job.targetExtension) == base::LowerCase(sourceExt);
    std::string name = base::ChangeFileExt(job.sourcePath, job.suffix + (sameFormat ? sourceExt : job.targetExtension));
    if (!job.destFolder.empty())
        name = base::IncludeTrailingBackslash(job.destFolder) + base::ExtractFileName(name);
    return name;
}

std::unique_ptr<core::TBitmap> ScaledCopy(const TSlotJob& job, const core::TBitmap& working)
{
    if (job.maxDimension <= 0)
        return nullptr;
    return core::ScaleToMaxDimension(&working, job.maxDimension, core::kHalftoneFilter);
}

TSavingOptions SavingOptionsOf(const TSlotJob& job)
{
    TSavingOptions options;
    options.defaultExtension = job.defaultExtension;
    options.warnings = job.warnings;
    options.beforeCreate = SavingOptions().beforeCreate;
    return options;
}

std::string ProcessSlot(const TSlotJob& job, core::TBitmap& working, platform::IDesktopServices& desktop)
{
    if (working.Empty())
        return {};  // an empty image makes no output
    const std::unique_ptr<core::TBitmap> scaled = ScaledCopy(job, working);
    const core::TBitmap& image = scaled ? *scaled : working;

    if (job.copyOnly) {
        CopyToClipboard(image, desktop);
        return {};
    }
    std::string finalName;
    SaveImageFile(OutputName(job), image, finalName, desktop, SavingOptionsOf(job));
    return finalName;
}

}  // namespace scalopex::output
