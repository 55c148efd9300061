#pragma once
/// Playback of enhanced metafiles onto a 24-bit raster.

#include <cstddef>
#include <cstdint>

#include "platform/gdi/metafile.h"

namespace scalopex::gdi {

/// The raster playback paints: rows of width × 3 bytes (blue, green, red),
/// top row first; stride bytes from one row to the next (negative when
/// the rows are stored bottom-up).
struct TPlayTarget {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

/// Plays picture so that its frame fills rect: from (left, top) to
/// (right - 1, bottom - 1), both inclusive. What the picture does not paint
/// keeps its pixels. Records it cannot use (unknown, or with fields that
/// point outside the record) are skipped.
void PlayEnhMetaFile(TPlayTarget& target, const TEnhMetaFile& picture, const TRectL& rect);

}  // namespace scalopex::gdi
