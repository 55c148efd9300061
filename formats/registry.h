#pragma once
/// The list of every format module, registered in the fixed order that
/// decides which class opens an extension.

namespace scalopex::formats {

/// Registers every built format with the process-wide registry, once.
void RegisterFileFormats();

}  // namespace scalopex::formats
