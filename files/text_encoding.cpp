#include "files/text_encoding.h"

#include <cstdint>
#include <span>

#include "base/byte_cursor.h"

namespace scalopex::files {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One code point from the cursor. A lead byte whose sequence is malformed
// consumes only itself, so decoding resumes at the next byte.
char32_t NextCodePoint(base::ByteCursor& in)
{
    const std::uint8_t lead = in.u8();
    if (lead < 0x80)
        return lead;
    // Sequence length, payload bits of the lead byte, and the smallest code
    // point the length may carry (anything less is an overlong form).
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        minimum = 0x10000;
    } else {
        return kReplacement;
    }
    const std::span<const std::uint8_t> rest = in.rest();
    if (rest.size() < static_cast<std::size_t>(length - 1))
        return kReplacement;
    for (int i = 0; i < length - 1; ++i) {
        const std::uint8_t b = rest[static_cast<std::size_t>(i)];
        if ((b & 0xC0) != 0x80)
            return kReplacement;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c))
        return kReplacement;
    in.skip(static_cast<std::size_t>(length - 1));
    return c;
}

}  // namespace

std::u16string Utf8ToUtf16(std::span<const std::uint8_t> bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    base::ByteCursor in(bytes);
    while (!in.atEnd())
        AppendUtf16(out, NextCodePoint(in));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    // The program's own text: its chars are the UTF-8 bytes.
    return Utf8ToUtf16(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

}  // namespace scalopex::files
