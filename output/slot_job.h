#pragma once
/// The job of one output slot: scale the working image and save it under a
/// name made from the source path, the suffix and the target extension, or
/// put it on the clipboard.

#include <functional>
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "platform/desktop.h"

namespace scalopex::output {

struct TSlotJob {
    std::string sourcePath;
    std::string suffix;
    bool copyOnly = false;
    int maxDimension = 0;
    std::string destFolder;
    std::string targetExtension;  // with its dot
    /// The saving settings set right before the save.
    std::string defaultExtension;
    bool warnings = false;
};

/// The output name of a job: the source's own spelling of the extension is
/// kept when the target extension matches it; a destination folder replaces
/// the source's folder (a missing trailing '/' is supplied).
std::string OutputName(const TSlotJob& job);

/// Runs one slot on working (never changed). Returns the path written, or
/// an empty text when nothing was written. Failures propagate.
std::string ProcessSlot(const TSlotJob& job, core::TBitmap& working, platform::IDesktopServices& desktop);

/// The copy a slot writes of working: scaled to its maximum dimension, or
/// working itself (then null) when it has none.
std::unique_ptr<core::TBitmap> ScaledCopy(const TSlotJob& job, const core::TBitmap& working);

/// The saving settings of a job.
struct TSavingOptions;
TSavingOptions SavingOptionsOf(const TSlotJob& job);

}  // namespace scalopex::output
