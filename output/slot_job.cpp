#include "output/slot_job.h"

#include <memory>

#include "base/paths.h"
#include "core/scaling.h"
#include "core/stream.h"
#include "output/saving.h"

namespace scalopex::output {

std::string OutputName(const TSlotJob& job)
{
    const std::string sourceExt = base::ExtractFileExt(job.sourcePath);
    const bool sameFormat = base::LowerCase(job.targetExtension) == base::LowerCase(sourceExt);
    std::string name = base::ChangeFileExt(job.sourcePath, job.suffix + (sameFormat ? sourceExt : job.targetExtension));
    if (!job.destFolder.empty())
        name = base::IncludeTrailingBackslash(job.destFolder) + base::ExtractFileName(name);
    return name;
}

std::string ProcessSlot(const TSlotJob& job, core::TBitmap& working, platform::IDesktopServices& desktop)
{
    std::unique_ptr<core::TBitmap> scaled;
    if (job.maxDimension > 0)
        scaled = core::ScaleToMaxDimension(&working, job.maxDimension, core::kHalftoneFilter);
    core::TBitmap& image = scaled ? *scaled : working;

    if (job.copyOnly) {
        core::TMemoryStream bmp;
        image.SaveToStream(bmp);
        desktop.ClipboardSetImage(bmp.Bytes());
        return {};
    }
    SavingOptions().defaultExtension = job.defaultExtension;
    SavingOptions().warnings = job.warnings;
    std::string finalName;
    SaveImageFile(OutputName(job), image, finalName, desktop);
    return finalName;
}

}  // namespace scalopex::output
