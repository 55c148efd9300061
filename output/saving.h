#pragma once
/// Saving one bitmap to one path: the name checks, the default-format
/// fallback, a name that never replaces an existing file, and the writer
/// chosen by the extension.

#include <functional>
#include <string>

#include "core/bitmap.h"
#include "platform/desktop.h"

namespace scalopex::output {

/// The title of every message box of the program.
inline constexpr const char* kApplicationTitle = "Scalopex";

/// The saving routine's process-wide settings, set before every save.
struct TSavingOptions {
    std::string defaultExtension = ".jpg";
    bool warnings = true;
    /// Called with the chosen name right before the file is created (a seam
    /// for tests that race another writer).
    std::function<void(const std::string&)> beforeCreate;
};
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
                   platform::IDesktopServices& desktop);

}  // namespace scalopex::output
