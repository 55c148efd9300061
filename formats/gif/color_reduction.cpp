// Colour reduction for GIF frames. The octree keeps at most 236 colours while
// the pixels arrive, so its size never depends on the image; the palette puts
// the 20 static colours around them, and every pixel takes its nearest entry
// (no error diffusion, so the order in which pixels are mapped does not matter).

#include "formats/gif/color_reduction.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/exceptions.h"
#include "formats/gif/gif_exception.h"

namespace scalopex::formats {

namespace {

constexpr int kOctreeColors = 236;
constexpr int kOctreeBits = 8;
constexpr std::size_t kPaletteSize = 256;
constexpr std::size_t kLowStatic = 10;  // static colours 0-9 at the front, 10-19 at the back

constexpr int kCellBits = 3;  // cells of 8 x 8 x 8 colours
constexpr int kCellsPerAxis = 256 >> kCellBits;
constexpr std::size_t kCacheSize = 4096;

gdi::TLogPalette OctreePalette(const TColorQuantizer& quantizer)
{
    const gdi::TLogPalette& statics = gdi::DefaultPalette();
    const gdi::TLogPalette leaves = quantizer.ColorTable();
    gdi::TLogPalette palette(kPaletteSize);  // black where nothing else goes
    std::copy(statics.begin(), statics.begin() + kLowStatic, palette.begin());
    std::copy(leaves.begin(),
              leaves.begin() + std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(leaves.size()), kOctreeColors),
              palette.begin() + kLowStatic);
    std::copy(statics.begin() + kLowStatic, statics.end(), palette.end() - (statics.size() - kLowStatic));
    return palette;
}

gdi::TLogPalette WebCubePalette()
{
    gdi::TLogPalette palette(kPaletteSize);
    std::size_t i = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette[i++] = {static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                                static_cast<std::uint8_t>(b * 51), 0};
    return palette;
}

// Hands the rows of a raster to f as blue, green, red bytes, converting
// other layouts through one reused buffer.
template <typename F>
void ForEachRowBgr(const core::TBitmapImage& image, F f)
{
    if (image.bitCount == 24 && image.compression == core::BI_RGB) {
        for (int y = 0; y < image.height; ++y)
            f(y, image.Row(y));
        return;
    }
    const auto width = static_cast<std::size_t>(image.width);
    std::vector<std::uint8_t> bgra(width * 4);
    std::vector<std::uint8_t> bgr(width * 3);
    for (int y = 0; y < image.height; ++y) {
        core::UnpackRow(image, image.Row(y), image.width, bgra.data());
        for (std::size_t x = 0; x < width; ++x)
            std::memcpy(bgr.data() + 3 * x, bgra.data() + 4 * x, 3);
        f(y, bgr.data());
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// TColorQuantizer

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits)
    : m_maxColors(std::max(maxColors, 1)),
      m_colorBits(std::clamp(colorBits, 1, 8))
{
}

std::int32_t TColorQuantizer::NewNode(int level)
{
    std::int32_t index;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
        m_nodes[static_cast<std::size_t>(index)] = TOctreeNode {};
    } else {
        index = static_cast<std::int32_t>(m_nodes.size());
        m_nodes.emplace_back();
    }
    TOctreeNode& node = m_nodes[static_cast<std::size_t>(index)];
    if (level == m_colorBits) {
        node.leaf = true;
        ++m_leafCount;
    } else {
        // Pushed on its level's stack: the newest node is reduced first.
        node.next = m_reducible[level];
        m_reducible[level] = index;
    }
    return index;
}

void TColorQuantizer::FreeNode(std::int32_t index)
{
    for (std::int32_t child : m_nodes[static_cast<std::size_t>(index)].children)
        if (child >= 0)
            FreeNode(child);
    m_free.push_back(index);
}

void TColorQuantizer::AddColor(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::uint32_t color = r | (static_cast<std::uint32_t>(g) << 8) | (static_cast<std::uint32_t>(b) << 16);
    std::int32_t node = m_lastLeaf;
    if (color != m_lastColor || node < 0) {
        if (m_root < 0)
            m_root = NewNode(0);
        node = m_root;
        for (int level = 0; !m_nodes[static_cast<std::size_t>(node)].leaf; ++level) {
            const int shift = 7 - level;
            const int child = (((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1);
            std::int32_t next = m_nodes[static_cast<std::size_t>(node)].children[child];
            if (next < 0) {
                next = NewNode(level + 1);
                m_nodes[static_cast<std::size_t>(node)].children[child] = next;
            }
            node = next;
        }
        m_lastColor = color;
        m_lastLeaf = node;
    }
    TOctreeNode& leaf = m_nodes[static_cast<std::size_t>(node)];
    ++leaf.pixelCount;
    leaf.red += r;
    leaf.green += g;
    leaf.blue += b;
}

void TColorQuantizer::ReduceTree()
{
    // The deepest level with reducible nodes, level 0 (the root) last.
    int level = m_colorBits - 1;
    while (level > 0 && m_reducible[level] < 0)
        --level;
    const std::int32_t index = m_reducible[level];
    if (index < 0)
        return;
    m_reducible[level] = m_nodes[static_cast<std::size_t>(index)].next;

    int removed = 0;
    for (int i = 0; i < 8; ++i) {
        const std::int32_t child = m_nodes[static_cast<std::size_t>(index)].children[i];
        if (child < 0)
            continue;
        const TOctreeNode& c = m_nodes[static_cast<std::size_t>(child)];
        TOctreeNode& node = m_nodes[static_cast<std::size_t>(index)];
        node.red += c.red;
        node.green += c.green;
        node.blue += c.blue;
        node.pixelCount += c.pixelCount;
        node.children[i] = -1;
        FreeNode(child);
        ++removed;
    }
    m_nodes[static_cast<std::size_t>(index)].leaf = true;
    m_leafCount -= removed - 1;
    m_lastLeaf = -1;
}

void TColorQuantizer::ProcessRow(const std::uint8_t* bgr, int width)
{
    for (int x = 0; x < width; ++x, bgr += 3) {
        AddColor(bgr[2], bgr[1], bgr[0]);
        while (m_leafCount > m_maxColors)
            ReduceTree();
    }
}

gdi::TLogPalette TColorQuantizer::ColorTable() const
{
    gdi::TLogPalette table;
    table.reserve(static_cast<std::size_t>(m_leafCount));
    // Depth first, children in index order, with an explicit stack.
    std::vector<std::int32_t> stack;
    if (m_root >= 0)
        stack.push_back(m_root);
    while (!stack.empty()) {
        const TOctreeNode& node = m_nodes[static_cast<std::size_t>(stack.back())];
        stack.pop_back();
        if (node.leaf) {
            gdi::TPaletteEntry entry;
            if (node.pixelCount > 0) {
                entry.peRed = static_cast<std::uint8_t>(node.red / node.pixelCount);
                entry.peGreen = static_cast<std::uint8_t>(node.green / node.pixelCount);
                entry.peBlue = static_cast<std::uint8_t>(node.blue / node.pixelCount);
            }
            table.push_back(entry);
            continue;
        }
        for (int i = 7; i >= 0; --i)
            if (node.children[i] >= 0)
                stack.push_back(node.children[i]);
    }
    return table;
}

// ---------------------------------------------------------------------------
// TSlowColorLookup

TSlowColorLookup::TSlowColorLookup(const gdi::TLogPalette& palette)
    : m_count(std::min(palette.size(), gdi::kMaxPaletteEntries)),
      m_near(3 * kCellsPerAxis * m_count),
      m_far(3 * kCellsPerAxis * m_count),
      m_cellStart(static_cast<std::size_t>(kCellsPerAxis * kCellsPerAxis * kCellsPerAxis), -1),
      m_cellCount(m_cellStart.size(), 0),
      m_cacheKeys(kCacheSize, 0),
      m_cacheValues(kCacheSize, 0)
{
    constexpr int span = (1 << kCellBits) - 1;
    for (int channel = 0; channel < 3; ++channel)
        for (int cell = 0; cell < kCellsPerAxis; ++cell) {
            const int lo = cell << kCellBits, hi = lo + span;
            std::int32_t* nearRow = m_near.data() + (static_cast<std::size_t>(channel * kCellsPerAxis + cell)) * m_count;
            std::int32_t* farRow = m_far.data() + (static_cast<std::size_t>(channel * kCellsPerAxis + cell)) * m_count;
            for (std::size_t i = 0; i < m_count; ++i) {
                const int v = channel == 0 ? palette[i].peRed : channel == 1 ? palette[i].peGreen : palette[i].peBlue;
                const int near = v < lo ? lo - v : (v > hi ? v - hi : 0);
                const int far = std::max(v - lo, hi - v);
                nearRow[i] = near * near;
                farRow[i] = far * far;
            }
        }
    m_palette.assign(palette.begin(), palette.begin() + static_cast<std::ptrdiff_t>(m_count));
}

void TSlowColorLookup::BuildCell(std::uint32_t cell)
{
    // An entry can be nearest to some colour of the cell only if its least
    // distance to the cell is within the smallest greatest distance of any
    // entry. Every entry tied with the winner passes too, and the search
    // looks at candidates in order of least distance, so it gives the answer
    // of the full search.
    const std::size_t coord[3] = {cell >> (2 * (8 - kCellBits)), (cell >> (8 - kCellBits)) & (kCellsPerAxis - 1),
                                  cell & (kCellsPerAxis - 1)};
    const std::int32_t* nearRows[3];
    const std::int32_t* farRows[3];
    for (std::size_t c = 0; c < 3; ++c) {
        nearRows[c] = m_near.data() + (c * kCellsPerAxis + coord[c]) * m_count;
        farRows[c] = m_far.data() + (c * kCellsPerAxis + coord[c]) * m_count;
    }
    std::int32_t least[256];
    std::int32_t bound = 1 << 30;
    for (std::size_t i = 0; i < m_count; ++i) {
        least[i] = nearRows[0][i] + nearRows[1][i] + nearRows[2][i];
        bound = std::min(bound, farRows[0][i] + farRows[1][i] + farRows[2][i]);
    }
    const std::size_t start = m_candidates.size();
    for (std::size_t i = 0; i < m_count; ++i)
        if (least[i] <= bound)
            m_candidates.push_back(
                {least[i], m_palette[i].peRed, m_palette[i].peGreen, m_palette[i].peBlue, static_cast<std::uint8_t>(i)});
    std::sort(
        m_candidates.begin() + static_cast<std::ptrdiff_t>(start), m_candidates.end(),
        [](const TCandidate& a, const TCandidate& b) { return a.least < b.least || (a.least == b.least && a.index < b.index); });
    m_cellStart[cell] = static_cast<std::int32_t>(start);
    m_cellCount[cell] = static_cast<std::uint16_t>(m_candidates.size() - start);
}

std::uint8_t TSlowColorLookup::Search(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    if (m_count == 0)
        return 0;
    const std::uint32_t cell = (static_cast<std::uint32_t>(r >> kCellBits) << (2 * (8 - kCellBits))) |
                               (static_cast<std::uint32_t>(g >> kCellBits) << (8 - kCellBits)) | (b >> kCellBits);
    if (m_cellStart[cell] < 0)
        BuildCell(cell);
    const TCandidate* candidate = m_candidates.data() + m_cellStart[cell];
    const TCandidate* end = candidate + m_cellCount[cell];
    std::uint8_t best = candidate->index;
    std::int32_t bestDistance = 1 << 30;
    for (; candidate != end && candidate->least <= bestDistance; ++candidate) {
        const std::int32_t dr = candidate->r - r, dg = candidate->g - g, db = candidate->b - b;
        const std::int32_t d = dr * dr + dg * dg + db * db;
        if (d < bestDistance || (d == bestDistance && candidate->index < best)) {
            bestDistance = d;
            best = candidate->index;
        }
    }
    return best;
}

std::uint8_t TSlowColorLookup::Lookup(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::uint32_t key = (r | (static_cast<std::uint32_t>(g) << 8) | (static_cast<std::uint32_t>(b) << 16)) + 1;
    const std::size_t slot = ((key * 2654435761u) >> 20) & (kCacheSize - 1);
    if (m_cacheKeys[slot] != key) {
        m_cacheKeys[slot] = key;
        m_cacheValues[slot] = Search(r, g, b);
    }
    return m_cacheValues[slot];
}

void TSlowColorLookup::LookupRow(const std::uint8_t* bgr, int width, std::uint8_t* indices)
{
    std::uint32_t last = 0xFFFFFFFF;
    std::uint8_t lastIndex = 0;
    for (int x = 0; x < width; ++x, bgr += 3) {
        const std::uint32_t color =
            bgr[2] | (static_cast<std::uint32_t>(bgr[1]) << 8) | (static_cast<std::uint32_t>(bgr[0]) << 16);
        if (color != last) {
            last = color;
            lastIndex = Lookup(bgr[2], bgr[1], bgr[0]);
        }
        indices[x] = lastIndex;
    }
}

// ---------------------------------------------------------------------------
// Reductions

void ReduceColorsTo(const core::TBitmap& source, TColorReduction reduction, gdi::TLogPalette& palette, std::uint8_t* indices)
{
    const core::TBitmapImage& image = source.Image();
    const auto width = static_cast<std::size_t>(image.width);
    if (reduction == TColorReduction::OctreeWithSystemColors) {
        TColorQuantizer quantizer(kOctreeColors, kOctreeBits);
        ForEachRowBgr(image, [&](int, const std::uint8_t* bgr) { quantizer.ProcessRow(bgr, image.width); });
        palette = OctreePalette(quantizer);
    } else {
        palette = WebCubePalette();
    }
    TSlowColorLookup lookup(palette);
    ForEachRowBgr(image, [&](int y, const std::uint8_t* bgr) {
        lookup.LookupRow(bgr, image.width, indices + static_cast<std::size_t>(y) * width);
    });
}

std::unique_ptr<core::TBitmap> ReduceColors(const core::TBitmap& source, TColorReduction reduction)
{
    const int width = source.Width();
    const int height = source.Height();
    gdi::TLogPalette palette;
    std::vector<std::uint8_t> indices;
    auto result = std::make_unique<core::TBitmap>();
    try {
        indices.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        result->SetPixelFormat(core::pf8bit);
        result->SetSizeUninitialized(width, height);  // every row is written below
    } catch (const std::bad_alloc&) {
        throw base::EOutOfMemory(kSOutOfData);
    } catch (const base::EOutOfMemory&) {
        throw base::EOutOfMemory(kSOutOfData);
    }
    ReduceColorsTo(source, reduction, palette, indices.data());
    result->SetPalette(palette);
    if (height == 0 || width == 0)
        return result;
    std::uint8_t* rows = result->ScanLine(0);  // private storage: rows stride bytes apart
    for (int y = 0; y < height; ++y)
        std::memcpy(rows + static_cast<std::size_t>(y) * result->RowBytes(),
                    indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), static_cast<std::size_t>(width));
    return result;
}

}  // namespace scalopex::formats
