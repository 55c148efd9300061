// The settings file store: creation, the profile layout in UTF-16, the
// reading rules, encodings, hostile content and refused writes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>

#include "base/exceptions.h"
#include "files/ini_file.h"
#include "files/text_encoding.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using files::TIniFile;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A UTF-16 LE file with its mark, as the profile functions write it.
Bytes Utf16File(const std::u16string& text)
{
    Bytes out = {0xFF, 0xFE};
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

Bytes Utf8File(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string ExceptionText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const base::Exception& e) {
        return e.what();
    }
    return "(no exception)";
}

}  // namespace

TEST(IniFile, OpenCreatesMissingFileHoldingOnlyTheMark)
{
    TempDir dir;
    TIniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ReadBytes(dir.file("a.ini")), (Bytes{0xFF, 0xFE}));
    EXPECT_EQ(ini.ReadString("Settings", "Big", "_lge"), "_lge");

    // An existing file is left as it is.
    WriteBytes(dir.file("b.ini"), Utf8File("[s]\nk=v\n"));
    TIniFile existing(dir.file("b.ini"));
    EXPECT_EQ(ReadBytes(dir.file("b.ini")), Utf8File("[s]\nk=v\n"));
}

TEST(IniFile, OpenReportsFileThatCannotBeCreated)
{
    TempDir dir;
    const std::string path = dir.file("missing/a.ini");
    EXPECT_EQ(ExceptionText([&] { TIniFile ini(path); }).rfind("Cannot create file \"" + path + "\". ", 0), 0u);
}

TEST(IniFile, WritesProfileLayoutInUtf16)
{
    TempDir dir;
    TIniFile ini(dir.file("a.ini"));
    ini.WriteString("Settings", "Big", "_lge");
    ini.WriteInteger("Settings", "Big_Size", -5);
    ini.WriteString("Other", "k", "v");
    ini.WriteBool("Settings", "Warnings", true);  // new key goes to its own section
    ini.WriteString("settings", "BIG", "x");      // replaced in place, names without case
    EXPECT_EQ(ReadBytes(dir.file("a.ini")),
              Utf16File(u"[Settings]\r\nBig=x\r\nBig_Size=-5\r\nWarnings=1\r\n[Other]\r\nk=v\r\n"));
}

TEST(IniFile, WriteKeepsForeignLinesAndSections)
{
    TempDir dir;
    WriteBytes(dir.file("a.ini"), Utf16File(u"; comment\r\n[Window]\r\nx=1\r\n\r\n[ settings ]\r\n"
                                            u"  big = old  \r\n;note\r\n\r\n[Last]\nk=v"));
    TIniFile ini(dir.file("a.ini"));
    ini.WriteString("Settings", "Big", "new");
    ini.WriteString("Settings", "Med", "_med");
    EXPECT_EQ(ReadBytes(dir.file("a.ini")), Utf16File(u"; comment\r\n[Window]\r\nx=1\r\n\r\n[ settings ]\r\n"
                                                      u"big=new\r\n;note\r\nMed=_med\r\n\r\n[Last]\r\nk=v\r\n"));
}

TEST(IniFile, ReadStringFindsKeyOfItsSectionOnly)
{
    TempDir dir;
    WriteBytes(dir.file("a.ini"), Utf16File(u"top=0\r\n[A]\r\nk1 =  spaced  \r\nk2=\"quoted \"\r\nk3='single'\r\n"
                                            u"k4=\"open\r\nk5=\r\nk1=second\r\nno equals\r\n[B]\r\nk6=b\r\n"));
    TIniFile ini(dir.file("a.ini"));
    const struct {
        const char* section;
        const char* key;
        const char* expected;
    } rows[] = {
        {"A", "k1", "spaced"},     // outer spaces removed, first of two wins
        {"a", "K2", "quoted "},    // one pair of quotes removed
        {"A", "k3", "single"},
        {"A", "k4", "\"open"},     // an unmatched quote stays
        {"A", "k5", ""},           // empty value, not the default
        {"A", "k6", "default"},    // key of another section
        {"A", "top", "default"},   // key before any section
        {"A", "no equals", "default"},
        {"C", "k1", "default"},
        {"B", "k6", "b"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ini.ReadString(row.section, row.key, "default"), row.expected) << row.section << "/" << row.key;
}

TEST(IniFile, ReadIntegerConvertsDecimalAndHexadecimal)
{
    const struct {
        const char* stored;
        int expected;
    } rows[] = {
        {"0x400", 1024}, {"0X1f", 31}, {"$400", 1024}, {"1024", 1024}, {"-5", -5}, {"+7", 7},
        {"\" 12\"", 12}, {"-2147483648", INT_MIN}, {"$FFFFFFFF", -1}, {"-$10", -16},
        // Texts that do not convert give the default (99).
        {"0x", 99}, {"$", 99}, {"", 99}, {"yes", 99}, {"12a", 99}, {"1 2", 99}, {"2147483648", 99},
        {"$100000000", 99}, {"0x-1", 99}, {"-", 99}, {"99999999999999999999", 99},
    };
    TempDir dir;
    TIniFile ini(dir.file("a.ini"));
    for (const auto& row : rows) {
        WriteBytes(dir.file("a.ini"), Utf16File(u"[S]\r\nk=" + files::Utf8ToUtf16(row.stored) + u"\r\n"));
        EXPECT_EQ(ini.ReadInteger("S", "k", 99), row.expected) << row.stored;
    }
    EXPECT_EQ(ini.ReadInteger("S", "missing", -3), -3);
}

TEST(IniFile, ValuesRoundTripExactly)
{
    const char* values[] = {
        "/home/user/Фото/отпуск",        // Cyrillic
        "/srv/写真/二〇二四",              // CJK
        "/tmp/😀 party/",                // outside the basic plane
        "  padded  ",                    // outer spaces kept by quoting
        "\"quoted\"",                    // enclosing quotes kept
        "'q'",
        "a=b;c[d]",
        "",
    };
    TempDir dir;
    TIniFile ini(dir.file("a.ini"));
    for (const char* value : values) {
        ini.WriteString("Settings", "DestFolder1", value);
        EXPECT_EQ(ini.ReadString("Settings", "DestFolder1", "x"), value);
    }
    // A line break cannot live inside one line of the file.
    ini.WriteString("Settings", "k", "one\r\ntwo\nthree");
    EXPECT_EQ(ini.ReadString("Settings", "k", ""), "one  two three");
    EXPECT_EQ(ini.ReadString("Settings", "three", "none"), "none");
}

TEST(IniFile, ReadReturnsAtMost2047Characters)
{
    TempDir dir;
    TIniFile ini(dir.file("a.ini"));
    ini.WriteString("S", "long", std::string(3000, 'a'));
    EXPECT_EQ(ini.ReadString("S", "long", ""), std::string(2047, 'a'));
    // A character outside the basic plane is two units and is never split.
    ini.WriteString("S", "pair", std::string(2046, 'b') + "😀");
    EXPECT_EQ(ini.ReadString("S", "pair", ""), std::string(2046, 'b'));
    ini.WriteString("S", "fits", std::string(2045, 'c') + "😀");
    EXPECT_EQ(ini.ReadString("S", "fits", ""), std::string(2045, 'c') + "😀");
    EXPECT_EQ(ini.ReadString("S", "none", std::string(2100, 'd')), std::string(2047, 'd'));
}

TEST(IniFile, ReadsOtherEncodingsAndWritesThemBackInKind)
{
    const struct {
        const char* name;
        Bytes file;
        const char* expected;
        Bytes afterWrite;  // after setting k2=Я
    } rows[] = {
        {"utf-8", Utf8File("[S]\nk=Ωmega\n"), "Ωmega", Utf8File("[S]\r\nk=Ωmega\r\nk2=Я\r\n")},
        {"utf-8 with mark", Utf8File("\xEF\xBB\xBF[S]\r\nk=é\r\n"), "é", Utf8File("\xEF\xBB\xBF[S]\r\nk=é\r\nk2=Я\r\n")},
        {"ansi", Utf8File("[S]\rk=caf\xE9\r"), "caf\xEF\xBF\xBD", Utf8File("[S]\r\nk=caf\xEF\xBF\xBD\r\nk2=Я\r\n")},
        {"utf-16 be", {0xFE, 0xFF, 0, '[', 0, 'S', 0, ']', 0, '\n', 0, 'k', 0, '=', 0x04, 0x2F}, "Я",
         {0xFE, 0xFF, 0, '[', 0, 'S', 0, ']', 0, '\r', 0, '\n', 0, 'k', 0, '=', 0x04, 0x2F, 0, '\r', 0, '\n',
          0, 'k', 0, '2', 0, '=', 0x04, 0x2F, 0, '\r', 0, '\n'}},
        {"empty", {}, "none", Utf16File(u"[S]\r\nk2=Я\r\n")},
    };
    for (const auto& row : rows) {
        TempDir dir;
        WriteBytes(dir.file("a.ini"), row.file);
        TIniFile ini(dir.file("a.ini"));
        EXPECT_EQ(ini.ReadString("S", "k", "none"), row.expected) << row.name;
        ini.WriteString("S", "k2", "Я");
        EXPECT_EQ(ReadBytes(dir.file("a.ini")), row.afterWrite) << row.name;
    }
}

TEST(IniFile, UnpairedSurrogatesReadAsReplacementAndSurviveRewrite)
{
    TempDir dir;
    // k=<lone low><lone high>x, then an odd trailing byte.
    Bytes file = Utf16File(u"[S]\r\nk=");
    file.insert(file.end(), {0x00, 0xDC, 0x00, 0xD8, 0x78, 0x00, '\r', 0, '\n', 0, 0x41});
    WriteBytes(dir.file("a.ini"), file);
    TIniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.ReadString("S", "k", ""), "\xEF\xBF\xBD\xEF\xBF\xBDx");
    ini.WriteString("S", "j", "1");
    Bytes expected = Utf16File(u"[S]\r\nk=");
    expected.insert(expected.end(), {0x00, 0xDC, 0x00, 0xD8, 0x78, 0x00});
    const Bytes tail = Utf16File(u"\r\nj=1\r\n");
    expected.insert(expected.end(), tail.begin() + 2, tail.end());
    EXPECT_EQ(ReadBytes(dir.file("a.ini")), expected);
}

TEST(IniFile, SurvivesArbitraryContent)
{
    TempDir dir;
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        Bytes file(static_cast<std::size_t>(random() % 4000));
        for (auto& b : file)
            b = static_cast<std::uint8_t>(random() % 4 == 0 ? "[]=\r\n;\"S"[random() % 9] : random());
        if (round % 2 == 0 && file.size() >= 2)
            file[0] = 0xFF, file[1] = 0xFE;
        WriteBytes(dir.file("a.ini"), file);
        TIniFile ini(dir.file("a.ini"));
        ini.ReadString("S", "k", "");
        ini.ReadInteger("S", "k", 0);
        ini.WriteString("S", "k", "v");
        EXPECT_EQ(ini.ReadString("S", "k", ""), "v") << "round " << round;
    }
    // One line of 4 MiB.
    WriteBytes(dir.file("a.ini"), Utf8File("[S]\nk=" + std::string(std::size_t{4} << 20, 'z')));
    TIniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.ReadString("S", "k", "").size(), 2047u);
}

TEST(IniFile, RefusesFileAboveSizeLimit)
{
    TempDir dir;
    const std::string path = dir.file("a.ini");
    TIniFile ini(path);
    std::filesystem::resize_file(path, files::kMaxIniFileBytes + 1);
    EXPECT_EQ(ExceptionText([&] { ini.ReadString("S", "k", ""); }),
              "The settings file \"" + path + "\" is larger than 16 MiB");
    EXPECT_EQ(ExceptionText([&] { ini.WriteString("S", "k", "v"); }), "Unable to write to " + path);
    EXPECT_EQ(std::filesystem::file_size(path), files::kMaxIniFileBytes + 1);
}

TEST(IniFile, RefusedWriteNamesTheFile)
{
    const struct {
        const char* name;
        void (*spoil)(const std::string& folder, const std::string& path);
    } rows[] = {
        {"file replaced by a folder",
         [](const std::string&, const std::string& path) {
             std::filesystem::remove(path);
             std::filesystem::create_directory(path);
         }},
        {"folder removed", [](const std::string& folder, const std::string&) { std::filesystem::remove_all(folder); }},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const std::string folder = dir.file("sub/");
        std::filesystem::create_directory(folder);
        const std::string path = folder + "a.ini";
        TIniFile ini(path);
        row.spoil(folder, path);
        EXPECT_EQ(ExceptionText([&] { ini.WriteString("Settings", "Big", "_lge"); }), "Unable to write to " + path)
            << row.name;
        EXPECT_EQ(ini.ReadString("Settings", "Big", "d"), "d") << row.name;
    }
}

TEST(IniFile, WriteThroughLinkUpdatesTheTarget)
{
    TempDir dir;
    WriteBytes(dir.file("real.ini"), {0xFF, 0xFE});
    ::chmod(dir.file("real.ini").c_str(), 0640);
    std::filesystem::create_symlink(dir.file("real.ini"), dir.file("link.ini"));
    TIniFile ini(dir.file("link.ini"));
    ini.WriteString("S", "k", "v");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(ReadBytes(dir.file("real.ini")), Utf16File(u"[S]\r\nk=v\r\n"));
    EXPECT_EQ(std::filesystem::status(dir.file("real.ini")).permissions(),
              static_cast<std::filesystem::perms>(0640));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // no temporary left
}

TEST(SettingsFilePath, BesideExecutableElseConfigFolder)
{
    TempDir dir;
    EXPECT_EQ(files::SettingsFilePath(dir.file("scalopex")), dir.file("scalopex.ini"));
    EXPECT_EQ(files::SettingsFilePath(dir.file("tool.bin")), dir.file("tool.ini"));

    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> saved = oldXdg ? std::optional<std::string>(oldXdg) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    EXPECT_EQ(files::SettingsFilePath("/no/such/folder/scalopex"), dir.file("config/scalopex/scalopex.ini"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("config/scalopex")));
    EXPECT_EQ(files::SettingsFilePath(""), dir.file("config/scalopex/scalopex.ini"));
    if (saved)
        ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");

    EXPECT_EQ(files::ExecutablePath(), std::filesystem::canonical("/proc/self/exe").string());
}

TEST(TextEncoding, BadSequencesBecomeReplacementCharacters)
{
    const struct {
        const char* utf8;
        std::u16string utf16;
    } rows[] = {
        {"a\xE2\x82\xAC", u"a\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                   // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},         // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"\xE2\x82", u"\uFFFD\uFFFD"},                   // cut short
        {"\x80x", u"\uFFFDx"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(files::Utf8ToUtf16(row.utf8), row.utf16) << row.utf8;
    EXPECT_EQ(files::Utf16ToUtf8(u"\U0001F600\u00E9"), "\xF0\x9F\x98\x80\xC3\xA9");
    EXPECT_EQ(files::Utf16ToUtf8(std::u16string{0xDC00, u'a', 0xD800}), "\xEF\xBF\xBD" "a" "\xEF\xBF\xBD");
}
