#pragma once
// Shared by the timing programs: a photograph-like test raster, made the
// same way on every run, and the minimum as a statistic over repetitions.

#include <vector>

#include "core/bitmap.h"

namespace scalopex::bench {

/// A pf24bit raster of smooth colour gradients with a little noise on top,
/// so that neither constant runs nor pure noise flatter a code path.
const core::TBitmap& PhotoRaster(int width, int height);

/// The fastest repetition: on a shared machine the least disturbed one.
double Minimum(const std::vector<double>& values);

}  // namespace scalopex::bench
