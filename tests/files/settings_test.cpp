// Loading and saving the shared settings through the settings file.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/exceptions.h"
#include "files/ini_file.h"
#include "files/settings.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using files::TIniFile;
using files::TSettings;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

namespace {

std::vector<std::uint8_t> Utf16File(const std::u16string& text)
{
    std::vector<std::uint8_t> out = {0xFF, 0xFE};
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

}  // namespace

TEST(Settings, FirstSaveWritesAllKeysInOrder)
{
    TempDir dir;
    TIniFile ini(dir.file("scalopex.ini"));
    TSettings settings;
    settings.slots[0] = {"x", 5, "/x/", 3};
    settings.warnings = true;
    files::LoadSettings(ini, settings);  // an empty file gives every key's default
    files::SaveSettings(ini, settings);
    EXPECT_EQ(ReadBytes(dir.file("scalopex.ini")),
              Utf16File(u"[Settings]\r\nBig=_lge\r\nMed=_med\r\nSmall=_sml\r\nBig_Size=800\r\nMed_Size=250\r\n"
                        u"Sml_Size=120\r\nDestFolder1=\r\nDestFolder2=\r\nDestFolder3=\r\nFormat1=0\r\nFormat2=0\r\n"
                        u"Format3=0\r\nDefault=1\r\nWarnings=0\r\n"));
}

TEST(Settings, StoredValuesFollowTheControlRules)
{
    const struct {
        const char* line;
        std::function<void(const TSettings&)> check;
    } rows[] = {
        {"Big_Size=0x400", [](const TSettings& s) { EXPECT_EQ(s.slots[0].maxDimension, 1024); }},
        {"Big_Size=$400", [](const TSettings& s) { EXPECT_EQ(s.slots[0].maxDimension, 1024); }},
        {"Big_Size=2000", [](const TSettings& s) { EXPECT_EQ(s.slots[0].maxDimension, 1500); }},
        {"Big_Size=-5", [](const TSettings& s) { EXPECT_EQ(s.slots[0].maxDimension, 0); }},
        {"Med_Size=2000", [](const TSettings& s) { EXPECT_EQ(s.slots[1].maxDimension, 2000); }},
        {"Med_Size=-5", [](const TSettings& s) { EXPECT_EQ(s.slots[1].maxDimension, -5); }},
        {"Sml_Size=big", [](const TSettings& s) { EXPECT_EQ(s.slots[2].maxDimension, 120); }},
        {"Warnings=yes", [](const TSettings& s) { EXPECT_FALSE(s.warnings); }},
        {"Warnings=2", [](const TSettings& s) { EXPECT_TRUE(s.warnings); }},
        {"Format1=9",
         [](const TSettings& s) {
             EXPECT_EQ(s.slots[0].formatIndex, -1);
             EXPECT_EQ(s.slots[0].FormatText(), "");
         }},
        {"Format2=5", [](const TSettings& s) { EXPECT_EQ(s.slots[1].FormatText(), "TGA"); }},
        {"Format3=-1", [](const TSettings& s) { EXPECT_EQ(s.slots[2].formatIndex, -1); }},
        {"Default=7",
         [](const TSettings& s) {
             EXPECT_EQ(s.defaultIndex, -1);
             EXPECT_EQ(s.DefaultExtension(), "");
         }},
        {"Default=0", [](const TSettings& s) { EXPECT_EQ(s.DefaultExtension(), ".bmp"); }},
        {"Default=png", [](const TSettings& s) { EXPECT_EQ(s.DefaultExtension(), ".jpg"); }},
        {"Small=", [](const TSettings& s) { EXPECT_EQ(s.slots[2].suffix, ""); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        TempDir dir;
        const std::string line = row.line;
        WriteBytes(dir.file("a.ini"), Utf16File(u"[Settings]\r\n" + std::u16string(line.begin(), line.end()) + u"\r\n"));
        TIniFile ini(dir.file("a.ini"));
        TSettings settings;
        files::LoadSettings(ini, settings);
        row.check(settings);
    }
}

TEST(Settings, SaveAndLoadRoundTrip)
{
    TSettings saved;
    saved.slots[0] = {"_gross", 1500, "/home/ärger/Фото/", -1};
    saved.slots[1] = {" spaced ", -5, "/srv/写真/", 5};
    saved.slots[2] = {"", 0, "/tmp/😀/", 3};
    saved.defaultIndex = -1;
    saved.warnings = true;

    TempDir dir;
    TIniFile ini(dir.file("a.ini"));
    files::SaveSettings(ini, saved);
    EXPECT_EQ(ini.ReadString("Settings", "Format1", ""), "-1");
    EXPECT_EQ(ini.ReadString("Settings", "Default", ""), "-1");

    TSettings loaded;
    files::LoadSettings(ini, loaded);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded.slots[i].suffix, saved.slots[i].suffix);
        EXPECT_EQ(loaded.slots[i].maxDimension, saved.slots[i].maxDimension);
        EXPECT_EQ(loaded.slots[i].destFolder, saved.slots[i].destFolder);
        EXPECT_EQ(loaded.slots[i].formatIndex, saved.slots[i].formatIndex);
    }
    EXPECT_EQ(loaded.defaultIndex, -1);
    EXPECT_TRUE(loaded.warnings);
}

TEST(Settings, RefusedSaveNamesTheFile)
{
    TempDir dir;
    const std::string path = dir.file("sub/a.ini");
    std::filesystem::create_directory(dir.file("sub"));
    TIniFile ini(path);
    std::filesystem::remove_all(dir.file("sub"));
    try {
        files::SaveSettings(ini, TSettings());
        FAIL() << "no exception";
    } catch (const base::Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
}
