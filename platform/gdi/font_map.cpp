// Font records and face names. The free fonts named here share the metrics
// of the faces they stand for, so text keeps its width and line breaks.

#include "platform/gdi/font_map.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/byte_cursor.h"

namespace scalopex::gdi {

namespace {

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void ReadCommon(base::ByteCursor& c, TLogFont& f)
{
    f.height = c.i32le();
    f.width = c.i32le();
    f.escapement = c.i32le();
    f.orientation = c.i32le();
    f.weight = c.i32le();
    f.italic = c.u8() != 0;
    f.underline = c.u8() != 0;
    f.strikeOut = c.u8() != 0;
    f.charSet = c.u8();
    c.skip(4);  // precisions, quality, pitch and family
}

}  // namespace

std::string Utf16ToUtf8(std::span<const std::uint16_t> units)
{
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t cp = units[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

TLogFont ReadLogFontW(std::span<const std::uint8_t> bytes)
{
    base::ByteCursor c(bytes);
    TLogFont f;
    ReadCommon(c, f);
    c.require(64);
    std::vector<std::uint16_t> name;
    for (int i = 0; i < 32; ++i) {
        const std::uint16_t u = c.u16le();
        if (u == 0)
            break;
        name.push_back(u);
    }
    f.faceName = Utf16ToUtf8(name);
    return f;
}

TLogFont ReadLogFont16(std::span<const std::uint8_t> bytes)
{
    base::ByteCursor c(bytes);
    TLogFont f;
    f.height = c.i16le();
    f.width = c.i16le();
    f.escapement = c.i16le();
    f.orientation = c.i16le();
    f.weight = c.i16le();
    f.italic = c.u8() != 0;
    f.underline = c.u8() != 0;
    f.strikeOut = c.u8() != 0;
    f.charSet = c.u8();
    c.skip(4);
    // The face name is in the font's own 8-bit code page: taken as Latin-1.
    for (std::size_t i = 0; i < 32 && c.remaining() > 0; ++i) {
        const std::uint8_t b = c.u8();
        if (b == 0)
            break;
        AppendUtf8(f.faceName, b);
    }
    return f;
}

std::string MappedFamily(const std::string& faceName)
{
    std::string key;
    for (const char ch : faceName)
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    while (!key.empty() && key.back() == ' ')
        key.pop_back();
    struct TRow {
        const char* face;
        const char* family;
    };
    static constexpr TRow kRows[] = {
        {"arial", "Liberation Sans"},
        {"helvetica", "Liberation Sans"},
        {"times new roman", "Liberation Serif"},
        {"times", "Liberation Serif"},
        {"courier new", "Liberation Mono"},
        {"courier", "Liberation Mono"},
        {"calibri", "Carlito"},
        {"cambria", "Caladea"},
    };
    for (const auto& r : kRows)
        if (key == r.face)
            return r.family;
    return key.empty() ? "sans-serif" : faceName;
}

}  // namespace scalopex::gdi
