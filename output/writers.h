#pragma once
/// The table of output writers: one row per extension that can be written.

#include <string>

#include "core/bitmap.h"
#include "core/stream.h"

namespace scalopex::output {

struct TWriter {
    const char* extension;  // lower case, with its dot
    /// Writes bitmap to stream in the row's format.
    void (*write)(core::TBitmap& bitmap, core::TStream& stream);
};

/// The writer for ext (exact comparison), or null.
const TWriter* FindWriter(const std::string& ext);

}  // namespace scalopex::output
