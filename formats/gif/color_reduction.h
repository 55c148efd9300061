#pragma once
/// Colour reduction of deep rasters to 256-entry palettes for GIF frames: the
/// octree quantizer, the nearest-entry lookup and the reductions themselves.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "platform/gdi/palette.h"

namespace scalopex::formats {

/// How a raster of more than 8 bits per pixel is reduced. The values count
/// from 0 in the full list of reductions; only these two are built.
enum class TColorReduction : int {
    WebCube = 6,  ///< the 216-colour cube (6 levels per channel)
    OctreeWithSystemColors = 8,  ///< the 20 static colours around up to 236 octree colours
};

/// Octree colour quantizer: fed 24-bit rows, it keeps at most maxColors
/// leaves by merging the most recently created node of the deepest level
/// that still has reducible nodes, and yields the leaf colours depth first.
class TColorQuantizer {
public:
    /// colorBits is the depth of the leaves (1 to 8).
    TColorQuantizer(int maxColors, int colorBits);

    /// Adds width pixels of blue, green, red bytes.
    void ProcessRow(const std::uint8_t* bgr, int width);
    /// The number of leaves, that is of colours the table will hold.
    int ColorCount() const { return m_leafCount; }
    /// The leaf colours in depth-first order, children 0 to 7; each is the
    /// mean of its pixels, truncated.
    gdi::TLogPalette ColorTable() const;

private:
    struct TOctreeNode {
        std::int64_t red = 0;  // wider than 32 bits: a leaf may collect any number of pixels
        std::int64_t green = 0;
        std::int64_t blue = 0;
        std::uint32_t pixelCount = 0;
        std::int32_t next = -1;  // next node of this level's reducible stack
        std::int32_t children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        bool leaf = false;
    };

    std::int32_t NewNode(int level);
    void FreeNode(std::int32_t index);
    void AddColor(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    void ReduceTree();

    int m_maxColors;
    int m_colorBits;
    int m_leafCount = 0;
    std::int32_t m_root = -1;
    std::int32_t m_reducible[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};  // stack tops per level
    std::vector<TOctreeNode> m_nodes;
    std::vector<std::int32_t> m_free;
    // The leaf the previous pixel ended in, valid until the tree is reduced.
    std::uint32_t m_lastColor = 0xFFFFFFFF;
    std::int32_t m_lastLeaf = -1;
};

/// Maps a colour to a palette index.
class TColorLookup {
public:
    virtual ~TColorLookup() = default;
    virtual std::uint8_t Lookup(std::uint8_t r, std::uint8_t g, std::uint8_t b) = 0;
};

/// The exact nearest-entry search of gdi::NearestPaletteIndex (squared RGB
/// distance, lowest index on a tie), made fast for photographs: a cache of
/// recent answers in front of a 32 x 32 x 32 grid of cells, each holding the
/// few entries that can be nearest to any colour inside it.
class TSlowColorLookup final : public TColorLookup {
public:
    /// At most 256 entries are used.
    explicit TSlowColorLookup(const gdi::TLogPalette& palette);
    std::uint8_t Lookup(std::uint8_t r, std::uint8_t g, std::uint8_t b) override;
    /// Maps width blue, green, red pixels to indices.
    void LookupRow(const std::uint8_t* bgr, int width, std::uint8_t* indices);

private:
    std::uint8_t Search(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    void BuildCell(std::uint32_t cell);

    // An entry that may be nearest to some colour of a cell, with its least
    // distance to the cell; a cell's candidates are sorted by that distance.
    struct TCandidate {
        std::int32_t least;
        std::uint8_t r, g, b, index;
    };
    std::size_t m_count = 0;
    gdi::TLogPalette m_palette;
    // Per channel and cell coordinate, every entry's squared distance to the
    // nearest and to the farthest value of the cell along that channel.
    std::vector<std::int32_t> m_near;
    std::vector<std::int32_t> m_far;
    std::vector<std::int32_t> m_cellStart;  // -1 until a cell is first used
    std::vector<std::uint16_t> m_cellCount;
    std::vector<TCandidate> m_candidates;
    std::vector<std::uint32_t> m_cacheKeys;  // colour + 1, 0 when empty
    std::vector<std::uint8_t> m_cacheValues;
};

/// Reduces source to indices into a 256-entry palette. indices receives
/// width × height bytes, rows from the top. A source of any pixel format is
/// read as 24-bit rows; the source itself is left unchanged.
void ReduceColorsTo(const core::TBitmap& source, TColorReduction reduction, gdi::TLogPalette& palette, std::uint8_t* indices);

/// A new pf8bit bitmap of source's size whose 256-entry colour table and
/// indices come from the reduction. Fails with "Failed to allocate memory
/// for GIF DIB" when its storage cannot be had.
std::unique_ptr<core::TBitmap> ReduceColors(const core::TBitmap& source, TColorReduction reduction);

}  // namespace scalopex::formats
