#pragma once
/// The list of every format module, registered in the fixed order that
/// decides which class opens an extension, and the descriptors the writer
/// table, the slot format boxes and the batch command are derived from.

#include <span>
#include <string>

#include "formats/common/format_descriptor.h"

namespace scalopex::formats {

/// The descriptor of each module, defined in its folder.
const TFormatDescriptor& BmpFormat();
const TFormatDescriptor& GifFormat();
const TFormatDescriptor& JpegFormat();
const TFormatDescriptor& PngFormat();
const TFormatDescriptor& TargaFormat();
const TFormatDescriptor& PcxFormat();
const TFormatDescriptor& SgiFormat();
const TFormatDescriptor& PsdFormat();
const TFormatDescriptor& PpmFormat();
const TFormatDescriptor& IcoFormat();
const TFormatDescriptor& RlaFormat();
const TFormatDescriptor& AutodeskFormat();
const TFormatDescriptor& PhotoCDFormat();
const TFormatDescriptor& CutFormat();
const TFormatDescriptor& PspFormat();
const TFormatDescriptor& Jpeg2000Format();
const TFormatDescriptor& TiffFormat();
const TFormatDescriptor& MetafileFormat();
const TFormatDescriptor& EpsFormat();

/// Every built format module.
std::span<const TFormatDescriptor* const> Formats();

/// The writer for ext (lower case with its dot, compared exactly), or null.
const TFormatWriter* FindWriter(const std::string& ext);

/// Registers every built format with the process-wide registry, once.
void RegisterFileFormats();

}  // namespace scalopex::formats
