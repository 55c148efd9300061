#pragma once
/// Conversions between the UTF-8 text of the engine's API and the UTF-16 text
/// of the settings file. Invalid input never fails: each bad sequence becomes
/// U+FFFD.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace scalopex::files {

/// UTF-8 to UTF-16; malformed, overlong or surrogate-coding sequences each
/// become one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
/// The same for UTF-8 bytes read from a file.
std::u16string Utf8ToUtf16(std::span<const std::uint8_t> bytes);
/// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace scalopex::files
