#pragma once
/// The settings that the window and the batch command share: the three
/// output slots, the default format and the warnings switch, with the rules
/// of the controls that hold them, and their loading from and saving to the
/// settings file.

#include <array>
#include <string>

namespace scalopex::files {

class TIniFile;

/// Entries of a slot's format box; index 0 is "NC" (no change).
inline constexpr std::array<const char*, 6> kFormatNames = {"NC", "BMP", "JPEG", "PNG", "GIF", "TGA"};
/// Entries of the default-format box.
inline constexpr std::array<const char*, 5> kDefaultFormats = {".bmp", ".jpg", ".png", ".gif", ".tga"};
/// Slot 1's maximum dimension is limited to this range; the others are not.
inline constexpr int kSlot1MaxLimit = 1500;

struct TSlotSettings {
    std::string suffix;
    int maxDimension = 0;
    std::string destFolder;
    /// Selected entry of the format box, or -1 for none (empty text).
    int formatIndex = 0;
    /// The box's text: its entry's name, or empty when none is selected.
    std::string FormatText() const;
};

struct TSettings {
    std::array<TSlotSettings, 3> slots = {{{"_lge", 800, "", 0}, {"_med", 250, "", 0}, {"_sml", 120, "", 0}}};
    /// Selected entry of the default-format box, or -1 for none.
    int defaultIndex = 1;
    bool warnings = false;

    /// The default-format box's text (".jpg" by default; empty without selection).
    std::string DefaultExtension() const;
    /// Applies the controls' rules: slot 1's maximum clamped to 0..1500, an
    /// index outside a box's list meaning no selection.
    void SetMaxDimension(int slot, int value);
    void SetFormatIndex(int slot, int index);
    void SetDefaultIndex(int index);
};

/// Reads the 14 keys of section "Settings" in their order; values that do
/// not convert keep the key's default.
void LoadSettings(TIniFile& ini, TSettings& settings);
/// Writes the 14 keys in their order; a refused write throws
/// "Unable to write to %s" and the later keys are not written.
void SaveSettings(TIniFile& ini, const TSettings& settings);

}  // namespace scalopex::files
