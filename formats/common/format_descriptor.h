#pragma once
/// TFormatDescriptor: everything the rest of the program knows of one format
/// module: the registry rows it adds, the class that opens its files, a
/// cheap content check, and, for formats that are written, the writer the
/// saving routine chooses by extension. The registry (formats/registry.cpp)
/// adds the rows in the start-up order; the writer table, the slot format
/// boxes and the batch command are derived from the descriptors.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/bitmap.h"
#include "core/graphic.h"
#include "core/stream.h"

namespace scalopex::formats {

/// Where in the start-up order a registry row is added.
enum class TRegistryBlock {
    Creation,      // when the registry is made
    Module,        // by the format module itself
    ExtraReaders,  // in the block of extra readers
};

struct TRegistryRow {
    TRegistryBlock block;
    const char* extension;  // as the module passes it; the registry lower-cases it
    const char* description;
    const core::TGraphicClass& (*graphicClass)();
};

/// One row of the saving routine's writer table, with the settings the
/// routine gives that writer.
struct TFormatWriter {
    const char* extension;  // lower case, with its dot
    /// The entry of the slots' format boxes that selects this writer, or null.
    const char* boxName;
    void (*write)(const core::TBitmap& bitmap, core::TStream& stream);
};

/// The first bytes of a file a content check looks at (all of a smaller file).
inline constexpr std::size_t kContentCheckBytes = 64;

struct TFormatDescriptor {
    const char* name;
    /// The class that opens the format's files.
    const core::TGraphicClass& (*readerClass)();
    std::span<const TRegistryRow> rows;
    /// True when start, the first bytes of a file, look like the format's.
    /// Cheap, and never throws.
    bool (*recognises)(std::span<const std::uint8_t> start) noexcept;
    /// Null when the format is only read.
    const TFormatWriter* writer;
};

}  // namespace scalopex::formats
