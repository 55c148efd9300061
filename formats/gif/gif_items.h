#pragma once
/// The parts of a GIF file as TGIFImage keeps them: colour tables, the
/// header with the logical screen, frames and their extension blocks.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "core/bitmap.h"
#include "formats/gif/gif_exception.h"
#include "platform/gdi/palette.h"

namespace scalopex::formats {

class TGIFImage;
class TGIFSubImage;
class TGIFExtension;
class TGIFGraphicControlExtension;

enum class TGIFVersion { gv87a, gv89a };

struct TGIFColor {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

/// A colour table of at most 256 entries, with its sorted flag.
class TGIFColorMap {
public:
    static constexpr int kMaxColors = 256;

    int Count() const { return static_cast<int>(m_colors.size()); }
    const TGIFColor& operator[](int index) const { return m_colors[static_cast<std::size_t>(index)]; }
    /// Appends color and returns its index; a full table fails with
    /// "Color table overflow". Clears the sorted flag.
    int Add(TGIFColor color);
    /// Removes one entry; clears the sorted flag.
    void Delete(int index);
    void Clear();
    bool Sorted() const { return m_sorted; }
    void SetSorted(bool sorted) { m_sorted = sorted; }
    /// Replaces the entries and keeps the sorted flag.
    void SetColors(std::vector<TGIFColor> colors);
    /// Takes the first 256 entries of palette; clears the sorted flag.
    void Assign(const gdi::TLogPalette& palette);
    gdi::TLogPalette Palette() const;

    /// 0 for no colours, else the least b >= 1 with 2^b >= count.
    static int BitsForColors(int count);

    /// Reads count entries of red, green, blue.
    void LoadFromCursor(base::ByteCursor& cursor, int count);
    /// Writes 2^BitsForColors(Count) entries, the missing ones black.
    void SaveToBuffer(std::vector<std::uint8_t>& out) const;

private:
    std::vector<TGIFColor> m_colors;
    bool m_sorted = false;
};

class TGIFGlobalColorMap final : public TGIFColorMap { };
class TGIFLocalColorMap final : public TGIFColorMap { };

/// Base of every part of the file: knows its image, for warnings, and the
/// format version it needs.
class TGIFItem {
public:
    explicit TGIFItem(TGIFImage* image) : m_image(image) { }
    virtual ~TGIFItem() = default;
    TGIFItem(const TGIFItem&) = delete;
    TGIFItem& operator=(const TGIFItem&) = delete;

    virtual TGIFVersion Version() const { return TGIFVersion::gv87a; }
    TGIFImage* Image() const { return m_image; }

protected:
    void Warning(const char* message) const;

private:
    TGIFImage* m_image;
};

/// The header: logical screen descriptor and global colour table.
class TGIFHeader final : public TGIFItem {
public:
    using TGIFItem::TGIFItem;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void SetWidth(int width) { m_width = width; }
    void SetHeight(int height) { m_height = height; }
    /// The packed byte as read.
    std::uint8_t Flags() const { return m_flags; }
    std::uint8_t BackgroundColorIndex() const { return m_background; }
    std::uint8_t AspectRatio() const { return m_aspect; }
    TGIFGlobalColorMap& ColorMap() { return m_colorMap; }
    const TGIFGlobalColorMap& ColorMap() const { return m_colorMap; }

    /// A logical screen of 0 x 0 without colour table.
    void Clear();
    void CopyFrom(const TGIFHeader& other);
    /// Reads the signature (retried 4 bytes on), the logical screen
    /// descriptor and the global colour table.
    void LoadFromCursor(base::ByteCursor& cursor);
    /// Writes the signature, the logical screen descriptor with the packed
    /// byte rebuilt from bits (the largest table size code of the image; the
    /// size code of a global table is its own), and the global colour table.
    void SaveToBuffer(std::vector<std::uint8_t>& out, TGIFVersion version, int bits) const;

private:
    int m_width = 0;
    int m_height = 0;
    std::uint8_t m_flags = 0;
    std::uint8_t m_background = 0;
    std::uint8_t m_aspect = 0;
    TGIFGlobalColorMap m_colorMap;
};

/// Base of the extension blocks (label after the 0x21 introducer).
class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage* subImage);

    TGIFVersion Version() const override { return TGIFVersion::gv89a; }
    virtual std::uint8_t Label() const = 0;
    TGIFSubImage* SubImage() const { return m_subImage; }

    /// Reads the block after its introducer and label.
    virtual void LoadFromCursor(base::ByteCursor& cursor) = 0;
    /// Writes the whole block, introducer and label included.
    virtual void SaveToBuffer(std::vector<std::uint8_t>& out) const = 0;
    virtual std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* subImage) const = 0;

    /// The extension class for label; application extensions are chosen by
    /// the identifier that follows at cursor. Other labels fail with
    /// "Unknown extension type".
    static std::unique_ptr<TGIFExtension> Create(std::uint8_t label, const base::ByteCursor& cursor, TGIFSubImage* subImage);

private:
    TGIFSubImage* m_subImage;
};

using TGIFExtensionList = std::vector<std::unique_ptr<TGIFExtension>>;
/// Raw data sub-blocks kept as read.
using TGIFBlock = std::vector<std::uint8_t>;

class TGIFGraphicControlExtension final : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    std::uint8_t Label() const override { return 0xF9; }

    std::uint8_t Packed() const { return m_packed; }
    bool Transparent() const { return (m_packed & 0x01) != 0; }
    void SetTransparent(bool value);
    bool UserInput() const { return (m_packed & 0x02) != 0; }
    int Disposal() const { return (m_packed >> 2) & 0x07; }
    std::uint16_t Delay() const { return m_delay; }
    void SetDelay(std::uint16_t delay) { m_delay = delay; }
    std::uint8_t TransparentColorIndex() const { return m_transparentIndex; }
    /// An index not below the count of a non-empty active colour table of
    /// the frame is stored as 0, with the warning "Invalid color index".
    void SetTransparentColorIndex(std::uint8_t index);

    void LoadFromCursor(base::ByteCursor& cursor) override;
    void SaveToBuffer(std::vector<std::uint8_t>& out) const override;
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* subImage) const override;

private:
    std::uint8_t m_packed = 0;
    std::uint16_t m_delay = 0;
    std::uint8_t m_transparentIndex = 0;
};

class TGIFCommentExtension final : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    std::uint8_t Label() const override { return 0xFE; }
    /// One line per data sub-block.
    std::vector<std::string> Lines;

    void LoadFromCursor(base::ByteCursor& cursor) override;
    void SaveToBuffer(std::vector<std::uint8_t>& out) const override;
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* subImage) const override;
};

class TGIFTextExtension final : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    std::uint8_t Label() const override { return 0x01; }
    /// The 12 bytes after the block size: text grid, cell size, colours.
    std::array<std::uint8_t, 12> Header {};
    std::vector<std::string> Lines;

    void LoadFromCursor(base::ByteCursor& cursor) override;
    void SaveToBuffer(std::vector<std::uint8_t>& out) const override;
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* subImage) const override;
};

class TGIFApplicationExtension : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    std::uint8_t Label() const override { return 0xFF; }
    /// The identification block: 8 bytes of identifier and 3 of
    /// authentication code (10 or more bytes in files that deviate).
    std::vector<std::uint8_t> Identification;

    /// Below 10 bytes of identification: "Unsupported Application Extension
    /// block size".
    void LoadFromCursor(base::ByteCursor& cursor) final;
    void SaveToBuffer(std::vector<std::uint8_t>& out) const final;

protected:
    /// Reads the data sub-blocks up to and including the terminator.
    virtual void LoadData(base::ByteCursor& cursor) = 0;
    /// Writes the data sub-blocks without the terminator.
    virtual void SaveData(std::vector<std::uint8_t>& out) const = 0;
};

/// "NETSCAPE2.0" and "ANIMEXTS1.0": loop count and buffer size.
class TGIFAppExtNSLoop final : public TGIFApplicationExtension {
public:
    using TGIFApplicationExtension::TGIFApplicationExtension;
    bool HasLoops = false;
    std::uint16_t Loops = 0;
    bool HasBufferSize = false;
    std::uint32_t BufferSize = 0;

    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* subImage) const override;

protected:
    void LoadData(base::ByteCursor& cursor) override;
    void SaveData(std::vector<std::uint8_t>& out) const override;
};

/// Any other application: its data sub-blocks kept as read.
class TGIFUnknownAppExtension final : public TGIFApplicationExtension {
public:
    using TGIFApplicationExtension::TGIFApplicationExtension;
    std::vector<TGIFBlock> Blocks;

    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* subImage) const override;

protected:
    void LoadData(base::ByteCursor& cursor) override;
    void SaveData(std::vector<std::uint8_t>& out) const override;
};

/// One frame: image descriptor, local colour table, one colour index per
/// pixel (rows from the top) and the extensions that precede it.
class TGIFSubImage final : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage* image);
    ~TGIFSubImage() override;

    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void SetLeft(int left) { m_left = left; }
    void SetTop(int top) { m_top = top; }
    /// New zero-filled pixels; the logical screen widens to hold the frame.
    void SetSize(int width, int height);
    bool Empty() const { return m_width == 0 || m_height == 0; }
    /// The packed byte of the image descriptor as read.
    std::uint8_t DescriptorFlags() const { return m_flags; }
    bool Interlaced() const { return (m_flags & 0x40) != 0; }

    std::span<const std::uint8_t> Data() const { return m_data; }
    /// Writable pixels; the cached drawing bitmap is dropped.
    std::span<std::uint8_t> MutableData();

    TGIFLocalColorMap& ColorMap();
    const TGIFLocalColorMap& ColorMap() const { return m_colorMap; }
    /// The local table when it has entries, else the global one when that
    /// has entries, else the (empty) local one.
    const TGIFColorMap& ActiveColorMap() const;

    const TGIFExtensionList& Extensions() const { return m_extensions; }
    void AddExtension(std::unique_ptr<TGIFExtension> extension);
    /// The first graphic control extension of the frame, or null.
    TGIFGraphicControlExtension* GraphicControlExtension() const { return m_graphicControl; }
    /// True when a graphic control extension of the frame has its
    /// transparency bit.
    bool Transparent() const;
    /// The transparent index of the first graphic control extension with the
    /// transparency bit; -1 when the frame is not transparent.
    int TransparentIndex() const;

    /// Orders the colour table by pixel count, most used first, renumbers
    /// the pixels and cuts unused entries from the end.
    void SortByUsage();

    /// Reads one frame: its extensions, image descriptor, local colour table
    /// and image data.
    void LoadFromCursor(base::ByteCursor& cursor);
    /// Writes the extensions and, unless the frame is empty, the image
    /// descriptor, local colour table and LZW image data; imageBits is the
    /// largest table size code of the image.
    void SaveToBuffer(std::vector<std::uint8_t>& out, int imageBits) const;
    std::unique_ptr<TGIFSubImage> Clone(TGIFImage* image) const;

    /// The frame as a raster for drawing, built on first use: 8-bit over the
    /// frame's colour table (black beyond it), or, when some pixel is
    /// transparent, 32-bit with alpha 0 there and 255 elsewhere. Without any
    /// colour table: "No global or local color table defined".
    const core::TBitmap& DrawingBitmap() const;

private:
    void ReadImageData(base::ByteCursor& cursor);

    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    int m_height = 0;
    std::uint8_t m_flags = 0;
    std::vector<std::uint8_t> m_data;
    TGIFLocalColorMap m_colorMap;
    TGIFExtensionList m_extensions;
    TGIFGraphicControlExtension* m_graphicControl = nullptr;
    mutable std::unique_ptr<core::TBitmap> m_drawing;
};

using TGIFImageList = std::vector<std::unique_ptr<TGIFSubImage>>;

}  // namespace scalopex::formats
