#pragma once
/// Scaling to a maximum dimension by area averaging, and rotation by 90°.

#include <memory>

#include "core/bitmap.h"

namespace scalopex::core {

/// The filter value that selects StretchHalftone.
inline constexpr int kHalftoneFilter = 7;

/// A new pf24bit bitmap whose longer side is maxDimension, keeping the
/// aspect ratio (enlarging too), drawn over white and never transparent; it
/// is returned dormant. Null for no graphic.
std::unique_ptr<TBitmap> ScaleToMaxDimension(const TGraphic* graphic, int maxDimension, int filter);

/// Replaces bitmap's content by its area-average stretch to width × height
/// (pf24bit, default transparency settings).
void StretchHalftone(int width, int height, TBitmap& bitmap);

/// Turns bitmap 90° clockwise in place; it becomes pf32bit with default
/// transparency settings.
void RotateClockwise(TBitmap& bitmap);

}  // namespace scalopex::core
