#pragma once
/// TCUTGraphic: reads cut files (".cut"): 8-bit run-length rows whose colours
/// come from the palette file of the same name with the extension ".pal"
/// beside them, or grey levels without one.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace cut {

inline constexpr std::size_t kBlockSize = 512;
inline constexpr std::size_t kPaletteHeaderSize = 40;
inline constexpr std::size_t kEntrySize = 6;
/// The palette file bytes that can hold 256 entries.
inline constexpr std::size_t kMaxPaletteFileBytes = 4 * kBlockSize;

/// The palette of a palette file's bytes: (highest index + 1) entries, at
/// most 256, read in 512-byte blocks whose entries never straddle two
/// blocks. Nothing when the bytes do not begin with a palette header; the
/// read error when they end before the last entry.
std::optional<gdi::TLogPalette> ReadPalette(std::span<const std::uint8_t> file);

/// The palette file beside a cut file: its name with the extension ".pal"
/// (or ".PAL"), when such a file exists; empty otherwise.
std::string FindPaletteFile(const std::string& paletteName);

}  // namespace cut

class TCUTGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TCUTGraphic)

public:
    TCUTGraphic() = default;

    /// Notes the palette file beside path, then loads path as every graphic
    /// does; later loads from a stream use the same palette file.
    void LoadFromFile(const std::string& path) override;

    /// Cut files carry no signature: always false.
    bool CanLoadStream(core::TStream& stream) const override;

    /// The palette file name noted by the last LoadFromFile (it need not exist).
    const std::string& PaletteFileName() const { return m_paletteFile; }

protected:
    /// Always succeeds on 4 bytes or more.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    std::string m_paletteFile;
};

/// Never recognises anything: cut files have no signature.
bool IsCUT(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
