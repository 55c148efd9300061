#pragma once
/// Logical fonts of metafiles: the LOGFONT fields the player uses, and the
/// mapping of common Windows face names onto metric-compatible free fonts.

#include <cstdint>
#include <span>
#include <string>

namespace scalopex::gdi {

struct TLogFont {
    std::int32_t height = 0;      // > 0: cell height, < 0: em height, 0: default
    std::int32_t width = 0;       // average character width; 0: the face's own
    std::int32_t escapement = 0;  // tenths of a degree, counter-clockwise
    std::int32_t orientation = 0;
    std::int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = 0;
    std::string faceName;  // UTF-8
};

/// The LOGFONTW of an EMF font record (92 bytes from its start; the face name
/// is 32 UTF-16 units, ending at the first 0). Throws on fewer bytes.
TLogFont ReadLogFontW(std::span<const std::uint8_t> bytes);
/// The LOGFONT of a WMF font record (18 bytes, then an 8-bit face name of at
/// most 32 bytes, which may be cut short).
TLogFont ReadLogFont16(std::span<const std::uint8_t> bytes);

/// The fontconfig family drawn for a face name: Arial and Helvetica as
/// Liberation Sans, Times New Roman as Liberation Serif, Courier New as
/// Liberation Mono, Calibri as Carlito, Cambria as Caladea; an empty name as
/// sans-serif; anything else as named (fontconfig picks the nearest).
std::string MappedFamily(const std::string& faceName);

/// UTF-16 code units as UTF-8 (unpaired surrogates become U+FFFD).
std::string Utf16ToUtf8(std::span<const std::uint16_t> units);

}  // namespace scalopex::gdi
