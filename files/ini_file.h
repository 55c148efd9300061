#pragma once
/// TIniFile: the settings file, read and written with the rules of the classic
/// profile functions. The file is UTF-16 LE with a byte-order mark; files in
/// UTF-8 (with or without a mark) or UTF-16 BE are read too and written back in
/// their own encoding. Every read and write goes to the file: nothing is cached.
///
/// Layout: "[Section]" header lines and "key=value" lines ending in CR LF.
/// Section and key names match without regard to case; a write replaces an
/// existing value in place, appends a new key after the last line of its
/// section and a new section at the end, and keeps every other line.

#include <cstddef>
#include <string>

namespace scalopex::files {

/// Files larger than this are refused, so a stray file cannot exhaust memory.
inline constexpr std::size_t kMaxIniFileBytes = std::size_t{16} << 20;
/// A read returns at most this many UTF-16 code units.
inline constexpr std::size_t kMaxIniValueChars = 2047;

class TIniFile {
public:
    /// Opens the store. A missing file is created holding only FF FE, so that
    /// later writes are stored as UTF-16; a failure to create it throws
    /// base::EFCreateError ("Cannot create file "%s". %s").
    explicit TIniFile(const std::string& path);

    const std::string& FileName() const { return m_path; }

    /// The value of key in section, or defaultValue when there is none; at
    /// most 2047 characters. Spaces around the value and one pair of
    /// enclosing quotes are removed. A file above kMaxIniFileBytes throws.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    /// The value as a decimal number, or hexadecimal after "$" or "0x";
    /// defaultValue when it does not convert to a 32-bit integer.
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
    /// ReadInteger with 1 or 0 as default, true when not 0.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

    /// Stores value for key in section and writes the file back at once; a
    /// refused write throws base::Exception("Unable to write to <path>").
    /// Section and key are the program's own names: no '=', ']' or line break.
    /// Line breaks inside value become spaces; a value that reading would
    /// change (outer spaces, enclosing quotes) is stored inside double quotes.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    /// Writes value in decimal.
    void WriteInteger(const std::string& section, const std::string& key, int value);
    /// Writes "1" or "0".
    void WriteBool(const std::string& section, const std::string& key, bool value);

private:
    std::string m_path;
};

/// The settings file for an executable: its path with ".ini" when its folder
/// (or an existing settings file there) is writable; otherwise
/// $XDG_CONFIG_HOME/scalopex/scalopex.ini (default ~/.config/...), whose
/// folder is created when missing.
std::string SettingsFilePath(const std::string& executablePath);

/// The running executable's full path (from /proc/self/exe); empty when it
/// cannot be had.
std::string ExecutablePath();

}  // namespace scalopex::files
