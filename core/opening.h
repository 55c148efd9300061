#pragma once
/// Opening any registered image file as a 24-bit raster.

#include <memory>
#include <string>

#include "core/bitmap.h"

namespace scalopex::core {

/// Opens path through the format registry and draws it onto a new 24-bit
/// bitmap owned by the caller. Failures propagate; nothing stays open.
std::unique_ptr<TBitmap> LoadGraphicAsBitmap(const std::string& path);

/// A new pf24bit bitmap of graphic's size with graphic drawn over white,
/// flagged transparent (automatic colour) exactly when graphic is; null for
/// no graphic.
std::unique_ptr<TBitmap> GraphicToBitmap(const TGraphic* graphic);

/// True when the extension of path (with its dot, lower-cased) occurs
/// anywhere in the registry's file mask. Never fails.
bool IsGraphicFile(const std::string& path) noexcept;

}  // namespace scalopex::core
