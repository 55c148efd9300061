#pragma once
/// Run-length decoding of BMP pixel data (RLE8 and RLE4).

#include <cstddef>
#include <cstdint>
#include <span>

namespace scalopex::gdi {

/// Decodes RLE8 (bitsPerPixel 8) or RLE4 (4) data into one index byte per
/// pixel. out holds height rows of at least width bytes, stride bytes apart,
/// in the order the data stores them (out row 0 is the first stored row);
/// pixels the data never sets keep their value. Pixels of a run beyond the
/// end of its row are dropped. Returns false when the data would set pixels
/// beyond the last row, or moves beyond the raster.
bool DecodeBmpRle(std::span<const std::uint8_t> data, int bitsPerPixel, int width, int height, std::uint8_t* out,
                  std::size_t stride);

}  // namespace scalopex::gdi
