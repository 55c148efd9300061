#include "files/ini_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/byte_cursor.h"
#include "base/exceptions.h"
#include "base/paths.h"
#include "files/text_encoding.h"

namespace scalopex::files {

namespace {

constexpr const char* kSUnableToWrite = "Unable to write to %s";
constexpr const char* kSFileTooLarge = "The settings file \"%s\" is larger than 16 MiB";

using Bytes = std::vector<std::uint8_t>;

// ---- File access -----------------------------------------------------------

enum class LoadStatus { ok, missing, unreadable, tooLarge };

// Reads a regular file of at most kMaxIniFileBytes. Non-blocking open so that
// a FIFO or device in the file's place cannot hang the caller.
LoadStatus LoadFile(const std::string& path, Bytes& out)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? LoadStatus::missing : LoadStatus::unreadable;
    LoadStatus status = LoadStatus::ok;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        status = LoadStatus::unreadable;
    } else if (static_cast<std::uint64_t>(st.st_size) > kMaxIniFileBytes) {
        status = LoadStatus::tooLarge;
    } else {
        // Read to the end in chunks: the file may have grown since fstat,
        // and reading stops one chunk past the limit at the latest.
        constexpr std::size_t kChunk = 64 * 1024;
        out.reserve(static_cast<std::size_t>(st.st_size) + kChunk);
        std::size_t got = 0;
        while (got <= kMaxIniFileBytes) {
            out.resize(got + kChunk);
            const ssize_t n = ::read(fd, out.data() + got, kChunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n < 0)
                    status = LoadStatus::unreadable;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        out.resize(got);
        if (got > kMaxIniFileBytes)
            status = LoadStatus::tooLarge;
    }
    ::close(fd);
    return status;
}

bool WriteAll(int fd, const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces the file's contents. The new text goes to a temporary file beside
// the target, which is then renamed over it, so a full disk or a crash never
// leaves half a settings file. Where no temporary file can be made there (a
// folder that is not writable), the file is rewritten in place.
bool StoreFile(const std::string& path, const Bytes& bytes)
{
    std::error_code ec;
    std::string target = std::filesystem::canonical(path, ec).string();  // follow links to the real file
    if (ec)
        target = path;
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return false;

    std::string temp = base::ExtractFilePath(target) + "." + base::ExtractFileName(target) + ".XXXXXX";
    const int tempFd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (tempFd >= 0) {
        bool ok = WriteAll(tempFd, bytes);
        ok = ok && ::fchmod(tempFd, exists ? (st.st_mode & 07777) : 0644) == 0;
        if (ok && exists && ::fchown(tempFd, st.st_uid, st.st_gid) != 0) {
            // Ownership is kept where allowed; a user's own file needs none.
        }
        ok = (::close(tempFd) == 0) && ok;
        ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
        if (!ok)
            ::unlink(temp.c_str());
        return ok;
    }
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = WriteAll(fd, bytes);
    return (::close(fd) == 0) && ok;
}

// ---- Text model ------------------------------------------------------------

enum class Encoding { utf16le, utf16be, utf8, utf8bom };

struct IniText {
    Encoding encoding = Encoding::utf16le;
    std::vector<std::u16string> lines;
};

std::vector<std::u16string> SplitLines(const std::u16string& text)
{
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines.emplace_back(text, start, i - start);
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text, start);
    return lines;
}

// Decodes the file by its byte-order mark; without one it is UTF-8 (plain
// ASCII included). An empty file counts as a fresh UTF-16 file.
IniText Decode(const Bytes& bytes)
{
    IniText ini;
    base::ByteCursor in(bytes);
    std::u16string text;
    if (in.skipPrefix({0xFF, 0xFE})) {
        text.reserve(in.remaining() / 2);
        while (in.remaining() >= 2)  // an odd last byte is dropped
            text += static_cast<char16_t>(in.u16le());
    } else if (in.skipPrefix({0xFE, 0xFF})) {
        ini.encoding = Encoding::utf16be;
        text.reserve(in.remaining() / 2);
        while (in.remaining() >= 2)
            text += static_cast<char16_t>(in.u16be());
    } else if (!in.atEnd()) {
        ini.encoding = in.skipPrefix({0xEF, 0xBB, 0xBF}) ? Encoding::utf8bom : Encoding::utf8;
        text = Utf8ToUtf16(in.rest());
    }
    ini.lines = SplitLines(text);
    return ini;
}

Bytes Encode(const IniText& ini)
{
    std::u16string text;
    for (const std::u16string& line : ini.lines) {
        text += line;
        text += u"\r\n";
    }
    Bytes out;
    switch (ini.encoding) {
    case Encoding::utf16le:
    case Encoding::utf16be: {
        const bool le = ini.encoding == Encoding::utf16le;
        out.reserve(2 + 2 * text.size());
        out.push_back(le ? 0xFF : 0xFE);
        out.push_back(le ? 0xFE : 0xFF);
        for (char16_t c : text) {
            const auto lo = static_cast<std::uint8_t>(c & 0xFF);
            const auto hi = static_cast<std::uint8_t>(c >> 8);
            out.push_back(le ? lo : hi);
            out.push_back(le ? hi : lo);
        }
        break;
    }
    case Encoding::utf8:
    case Encoding::utf8bom: {
        if (ini.encoding == Encoding::utf8bom)
            out = {0xEF, 0xBB, 0xBF};
        const std::string utf8 = Utf16ToUtf8(text);
        out.insert(out.end(), utf8.begin(), utf8.end());
        break;
    }
    }
    return out;
}

bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

std::u16string_view Trim(std::u16string_view s)
{
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Case folding for name comparison: ASCII, Latin-1, Greek and Cyrillic capitals.
char16_t Fold(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 0x50);
    return c;
}

bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

// The name of a "[name]" header line, or nothing for other lines.
std::optional<std::u16string_view> SectionName(std::u16string_view line)
{
    line = Trim(line);
    if (line.empty() || line.front() != u'[')
        return std::nullopt;
    line.remove_prefix(1);
    const std::size_t close = line.find(u']');
    return Trim(line.substr(0, close));
}

// The key of a "key=value" line, or nothing for lines without '='.
std::optional<std::u16string_view> KeyName(std::u16string_view line)
{
    const std::size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos)
        return std::nullopt;
    return Trim(line.substr(0, eq));
}

// The value of a key line: trimmed, and without one pair of enclosing quotes.
std::u16string_view KeyValue(std::u16string_view line)
{
    std::u16string_view value = Trim(line.substr(line.find(u'=') + 1));
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == u'"' || value.front() == u'\''))
        value = value.substr(1, value.size() - 2);
    return value;
}

struct SectionRange {
    std::size_t header;
    std::size_t end;  // one past its last line
};

std::optional<SectionRange> FindSection(const IniText& ini, std::u16string_view section)
{
    for (std::size_t i = 0; i < ini.lines.size(); ++i) {
        const auto name = SectionName(ini.lines[i]);
        if (!name || !SameName(*name, section))
            continue;
        std::size_t end = i + 1;
        while (end < ini.lines.size() && !SectionName(ini.lines[end]))
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(const IniText& ini, const SectionRange& range, std::u16string_view key)
{
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const auto name = KeyName(ini.lines[i]);
        if (name && SameName(*name, key))
            return i;
    }
    return std::nullopt;
}

// Cuts text to at most max code units without splitting a surrogate pair.
void Truncate(std::u16string& text, std::size_t max)
{
    if (text.size() <= max)
        return;
    text.resize(max);
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
        text.pop_back();
}

// The text a value is stored as, such that reading it gives the value back.
std::u16string StoredValue(const std::string& value)
{
    std::u16string v = Utf8ToUtf16(value);
    for (char16_t& c : v)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    const bool quote = !v.empty() && (IsSpace(v.front()) || IsSpace(v.back()) ||
                                      (v.size() >= 2 && v.front() == v.back() && (v.front() == u'"' || v.front() == u'\'')));
    return quote ? u"\"" + v + u"\"" : v;
}

// Decimal, or hexadecimal after "$", with an optional sign; 32-bit range
// (eight hexadecimal digits wrap, as "$FFFFFFFF" is -1).
std::optional<int> ParseInteger(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const bool hex = !s.empty() && s.front() == '$';
    if (hex)
        s.remove_prefix(1);
    if (s.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : s) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * (hex ? 16 : 10) + digit;
        if (value > (hex ? 0xFFFFFFFFLL : 0x80000000LL))
            return std::nullopt;
    }
    if (hex)
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace

TIniFile::TIniFile(const std::string& path) : m_path(path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return;
        throw base::EFCreateError(path, base::SysErrorMessage(errno));
    }
    // The mark alone makes every later write UTF-16.
    bool ok = WriteAll(fd, Bytes{0xFF, 0xFE});
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(path.c_str());
        throw base::EFCreateError(path, base::SysErrorMessage(error != 0 ? error : EIO));
    }
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const
{
    Bytes bytes;
    const LoadStatus status = LoadFile(m_path, bytes);
    if (status == LoadStatus::tooLarge)
        throw base::Exception(base::Format(kSFileTooLarge, m_path));
    std::u16string value;
    bool found = false;
    if (status == LoadStatus::ok) {
        const IniText ini = Decode(bytes);
        const auto range = FindSection(ini, Utf8ToUtf16(section));
        const auto line = range ? FindKey(ini, *range, Utf8ToUtf16(key)) : std::nullopt;
        if (line) {
            value = KeyValue(ini.lines[*line]);
            found = true;
        }
    }
    if (!found) {
        if (defaultValue.size() <= kMaxIniValueChars)
            return defaultValue;  // cannot exceed the limit in UTF-16 either
        value = Utf8ToUtf16(defaultValue);
    }
    Truncate(value, kMaxIniValueChars);
    return Utf16ToUtf8(value);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const
{
    std::string text = ReadString(section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, 1, '$');
    return ParseInteger(text).value_or(defaultValue);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    Bytes bytes;
    const LoadStatus status = LoadFile(m_path, bytes);
    if (status == LoadStatus::unreadable || status == LoadStatus::tooLarge)
        throw base::Exception(base::Format(kSUnableToWrite, m_path));
    IniText ini = Decode(bytes);  // a missing file starts empty, as UTF-16

    const std::u16string section16 = Utf8ToUtf16(section);
    const std::u16string key16 = Utf8ToUtf16(key);
    const std::u16string stored = StoredValue(value);
    if (const auto range = FindSection(ini, section16)) {
        if (const auto line = FindKey(ini, *range, key16)) {
            // Replaced in place, keeping the key's own spelling.
            ini.lines[*line] = std::u16string(*KeyName(ini.lines[*line])) + u"=" + stored;
        } else {
            // Appended after the section's last non-blank line.
            std::size_t last = range->header;
            for (std::size_t i = range->header + 1; i < range->end; ++i)
                if (!Trim(ini.lines[i]).empty())
                    last = i;
            ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(last + 1), key16 + u"=" + stored);
        }
    } else {
        ini.lines.push_back(u"[" + section16 + u"]");
        ini.lines.push_back(key16 + u"=" + stored);
    }

    const Bytes out = Encode(ini);
    if (out.size() > kMaxIniFileBytes || !StoreFile(m_path, out))
        throw base::Exception(base::Format(kSUnableToWrite, m_path));
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::string SettingsFilePath(const std::string& executablePath)
{
    const std::string beside = base::ChangeFileExt(executablePath, ".ini");
    const std::string folder = base::ExtractFilePath(executablePath);
    if (!executablePath.empty() &&
        (::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0 || ::access(beside.c_str(), W_OK) == 0))
        return beside;

    // The user's configuration folder; a relative XDG_CONFIG_HOME is ignored.
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDir = (home != nullptr && home[0] != '\0') ? home : "";
        if (homeDir.empty()) {
            struct passwd entry {};
            struct passwd* found = nullptr;
            std::vector<char> buffer(16384);
            if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
                homeDir = found->pw_dir;
        }
        base = base::IncludeTrailingBackslash(homeDir) + ".config";
    }
    const std::string configFolder = base::IncludeTrailingBackslash(base) + "scalopex/";
    std::error_code ignored;  // a folder that cannot be made shows when the file is opened
    std::filesystem::create_directories(configFolder, ignored);
    return configFolder + "scalopex.ini";
}

std::string ExecutablePath()
{
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

}  // namespace scalopex::files
