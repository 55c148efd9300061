#pragma once
/// TIcon: reads icon files (".ico", cursors too): of the images the icon
/// directory lists it loads the largest, then the deepest, held as BMP data
/// with its AND mask or as PNG data, into a 32-bit raster with real alpha,
/// so that transparent pixels show white like those of other images.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/bitmap_image.h"
#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

class TPNGGraphic;

namespace ico {

inline constexpr std::size_t kDirectoryHeaderSize = 6;
inline constexpr std::size_t kEntrySize = 16;

/// What the data of one directory entry holds, read from its own header.
struct TEntryImage {
    bool png = false;
    std::int64_t width = 0;
    std::int64_t height = 0;  // of the image, without the AND mask
    unsigned depth = 0;       // bits per pixel
};

/// The header of the image data at the start of data; nothing when it is
/// neither PNG nor a BMP info header of a known form and positive size.
std::optional<TEntryImage> ProbeEntry(std::span<const std::uint8_t> data) noexcept;

/// The index of the entry a user would want: the most pixels, then the
/// most bits per pixel, the first of equals. Nothing when no entry's data
/// can be read.
std::optional<std::size_t> ChooseEntry(std::span<const std::optional<TEntryImage>> entries) noexcept;

}  // namespace ico

class TIcon : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TIcon)

public:
    TIcon();
    ~TIcon() override;

    /// True when at least 22 bytes remain and they begin with an icon or
    /// cursor directory of one entry or more; the position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// The directory and the chosen entry's header; false without a directory.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    /// Decodes the chosen entry; bad directories and entries fail with a message.
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    // The chosen entry's pixels between the header and the rows of one load.
    std::unique_ptr<TPNGGraphic> m_png;
    std::unique_ptr<core::TBitmapImage> m_dib;
    bool m_alphaFromPixels = false;        // a 32-bit image whose fourth bytes are alpha
    std::span<const std::uint8_t> m_mask;  // the AND mask rows, bottom row first, as far as the file holds them
    std::size_t m_maskStride = 0;
};

/// The content test of CanLoadStream on the first bytes of a file. Never throws.
bool IsIcon(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
