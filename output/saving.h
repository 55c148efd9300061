#pragma once
/// Saving one bitmap to one path: the name checks, the default-format
/// fallback, a name that never replaces an existing file, and the writer
/// chosen by the extension.

#include <functional>
#include <string>

#include "core/bitmap.h"
#include "formats/common/format_descriptor.h"
#include "platform/desktop.h"

namespace scalopex::output {

/// The title of every message box of the program.
inline constexpr const char* kApplicationTitle = "Scalopex";
/// Shown when an extension passes the saveable test but has no writer.
inline constexpr const char* kSGraphicTypeCannotBeSaved = "Graphic type cannot be saved!";

/// The saving routine's settings, given with every save.
struct TSavingOptions {
    std::string defaultExtension = ".jpg";
    bool warnings = true;
    /// Called with the chosen name right before the file is created (a seam
    /// for tests that race another writer).
    std::function<void(const std::string&)> beforeCreate;
};
/// Settings for callers that set them once (tests, the four-argument
/// SaveImageFile); the slot job passes its own with every save.
TSavingOptions& SavingOptions();

/// True when name is not empty and holds none of < > | " \ / : * ?
bool IsValidFileName(const std::string& name);

/// path when no file of that name exists; otherwise the first of path with
/// "[1]", "[2]", … inserted before its extension that names no file.
std::string MakeUniqueName(const std::string& path);

/// Writes bitmap to path (or to the name the checks lead to) and sets
/// finalName to the path written, or to an empty text when nothing was
/// written. finalName is set also when the call fails. The bitmap is only
/// read. Messages go to desktop; failures are thrown.
void SaveImageFile(const std::string& path, const core::TBitmap& bitmap, std::string& finalName,
                   platform::IDesktopServices& desktop, const TSavingOptions& options);
/// The same with SavingOptions().
void SaveImageFile(const std::string& path, const core::TBitmap& bitmap, std::string& finalName,
                   platform::IDesktopServices& desktop);

/// What saving decides before it touches a file.
struct TSavePlan {
    /// The path after the name checks and the default-format fallback.
    std::string wanted;
    /// The writer its extension chooses; null means "Graphic type cannot be saved!".
    const formats::TFormatWriter* writer = nullptr;
};

/// The name checks (an invalid name throws), the default-format fallback
/// with its warning (shown on desktop unless desktop is null) and the
/// writer choice. The same path and options always give the same plan.
TSavePlan PlanSave(const std::string& path, const TSavingOptions& options, platform::IDesktopServices* desktop);

/// Writes the file through write under a temporary name beside
/// plan.wanted and publishes it under the first free name, never replacing
/// a file; finalName follows as SaveImageFile sets it.
void PublishSave(const TSavePlan& plan, const std::function<void(core::TStream&)>& write, const TSavingOptions& options,
                 std::string& finalName);

}  // namespace scalopex::output
