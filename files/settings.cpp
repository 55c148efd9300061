#include "files/settings.h"

#include "files/ini_file.h"

namespace scalopex::files {

namespace {

constexpr const char* kSection = "Settings";

// Key names per slot, in the file's order of suffixes, sizes, folders, formats.
constexpr std::array<const char*, 3> kSuffixKeys = {"Big", "Med", "Small"};
constexpr std::array<const char*, 3> kSizeKeys = {"Big_Size", "Med_Size", "Sml_Size"};
constexpr std::array<const char*, 3> kFolderKeys = {"DestFolder1", "DestFolder2", "DestFolder3"};
constexpr std::array<const char*, 3> kFormatKeys = {"Format1", "Format2", "Format3"};
constexpr const char* kDefaultKey = "Default";
constexpr const char* kWarningsKey = "Warnings";

// The entry of a box's list, or empty text when the index selects none.
template <std::size_t N>
std::string EntryText(const std::array<const char*, N>& entries, int index)
{
    return (index >= 0 && static_cast<std::size_t>(index) < N) ? entries[static_cast<std::size_t>(index)] : "";
}

template <std::size_t N>
int EntryIndex(const std::array<const char*, N>&, int index)
{
    return (index >= 0 && static_cast<std::size_t>(index) < N) ? index : -1;
}

}  // namespace

std::string TSlotSettings::FormatText() const
{
    return EntryText(kFormatNames, formatIndex);
}

std::string TSettings::DefaultExtension() const
{
    return EntryText(kDefaultFormats, defaultIndex);
}

void TSettings::SetMaxDimension(int slot, int value)
{
    if (slot == 0)
        value = value < 0 ? 0 : (value > kSlot1MaxLimit ? kSlot1MaxLimit : value);
    slots.at(static_cast<std::size_t>(slot)).maxDimension = value;
}

void TSettings::SetFormatIndex(int slot, int index)
{
    slots.at(static_cast<std::size_t>(slot)).formatIndex = EntryIndex(kFormatNames, index);
}

void TSettings::SetDefaultIndex(int index)
{
    defaultIndex = EntryIndex(kDefaultFormats, index);
}

void LoadSettings(TIniFile& ini, TSettings& settings)
{
    // A key that is missing or does not convert takes its default: the
    // built-in value of the control.
    const TSettings defaults;
    for (std::size_t i = 0; i < 3; ++i)
        settings.slots[i].suffix = ini.ReadString(kSection, kSuffixKeys[i], defaults.slots[i].suffix);
    for (std::size_t i = 0; i < 3; ++i)
        settings.SetMaxDimension(static_cast<int>(i), ini.ReadInteger(kSection, kSizeKeys[i], defaults.slots[i].maxDimension));
    for (std::size_t i = 0; i < 3; ++i)
        settings.slots[i].destFolder = ini.ReadString(kSection, kFolderKeys[i], defaults.slots[i].destFolder);
    for (std::size_t i = 0; i < 3; ++i)
        settings.SetFormatIndex(static_cast<int>(i), ini.ReadInteger(kSection, kFormatKeys[i], defaults.slots[i].formatIndex));
    settings.SetDefaultIndex(ini.ReadInteger(kSection, kDefaultKey, defaults.defaultIndex));
    settings.warnings = ini.ReadBool(kSection, kWarningsKey, defaults.warnings);
}

void SaveSettings(TIniFile& ini, const TSettings& settings)
{
    for (std::size_t i = 0; i < 3; ++i)
        ini.WriteString(kSection, kSuffixKeys[i], settings.slots[i].suffix);
    for (std::size_t i = 0; i < 3; ++i)
        ini.WriteInteger(kSection, kSizeKeys[i], settings.slots[i].maxDimension);
    for (std::size_t i = 0; i < 3; ++i)
        ini.WriteString(kSection, kFolderKeys[i], settings.slots[i].destFolder);
    for (std::size_t i = 0; i < 3; ++i)
        ini.WriteInteger(kSection, kFormatKeys[i], settings.slots[i].formatIndex);
    ini.WriteInteger(kSection, kDefaultKey, settings.defaultIndex);
    ini.WriteBool(kSection, kWarningsKey, settings.warnings);
}

}  // namespace scalopex::files
