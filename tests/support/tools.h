#pragma once
// The independent tools the tests compare with (ImageMagick, djpeg, netpbm):
// running them, reading the PNM images they write, and comparing pixels.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace scalopex::test {

/// Pixels as rows of RGB triples from the top, with one alpha byte a pixel
/// when the source has alpha.
struct TPixmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    std::vector<std::uint8_t> alpha;  // empty: opaque
    std::string form;                 // what a decoder says of the raster's layout; empty: not compared
    const std::uint8_t* At(int x, int y) const { return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3; }
};

/// A raster's pixels as RGB, whatever its pixel format; with alpha, the
/// fourth byte of 32-bit pixels.
TPixmap ToPixmap(const core::TBitmap& bitmap, bool alpha = false);

/// Largest difference of one colour sample; -1 when the sizes differ.
int MaxDifference(const TPixmap& a, const TPixmap& b);
/// Mean absolute difference of all colour samples (sizes must match).
double MeanDifference(const TPixmap& a, const TPixmap& b);

/// One binary PNM image with 8-bit samples: P5, P6, or P7 of 1 to 4
/// channels (grey, grey and alpha, RGB, RGBA). Grey becomes RGB.
std::optional<TPixmap> ReadPnm(std::span<const std::uint8_t> bytes);

/// Runs a shell command with its output discarded; true when it exits with 0.
bool RunTool(const std::string& command);
/// The standard output of a shell command, with its exit status in *status.
std::vector<std::uint8_t> RunCommand(const std::string& command, int* status = nullptr);
/// Runs a shell command that writes one PNM image to its standard output;
/// what it writes to standard error is discarded.
std::optional<TPixmap> RunForPnm(const std::string& command);
/// The picture of path as ImageMagick decodes it after options, with alpha
/// where ImageMagick finds alpha; nothing when ImageMagick reports an error.
std::optional<TPixmap> ImageMagickPixels(const std::string& path, const std::string& options = "");

}  // namespace scalopex::test
