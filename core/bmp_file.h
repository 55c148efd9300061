#pragma once
/// The BMP file image of a raster: reading it into a TBitmapImage and
/// writing a TBitmapImage as one.

#include <cstdint>
#include <memory>
#include <span>

#include "core/bitmap_image.h"
#include "core/stream.h"

namespace scalopex::core::bmp {

/// Parses a whole BMP file image. An empty span gives an empty raster.
/// Bad data throws EInvalidGraphic ("Bitmap image is not valid"), data that
/// ends inside the headers, masks or colour table EReadError, and a raster
/// beyond the engine's limits EOutOfResources.
std::unique_ptr<TBitmapImage> Read(std::span<const std::uint8_t> file);

/// Writes image as a BMP file image; an empty raster writes nothing. The
/// raster is only read: a missing colour table or masks are written as the
/// format's defaults without being stored back.
void Write(const TBitmapImage& image, TStream& stream);

}  // namespace scalopex::core::bmp
