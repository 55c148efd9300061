// The settings file parser (files::TIniFile) over a file holding the input.
// The last byte picks a section (bits 0-2) and a key (bits 3-5) to read as
// text, number and flag; bit 6 also reads the whole settings record; bit 7
// writes a value (chosen by the input size) and reads it back, which must
// give the value, and leaves another key of the section as it was.

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "files/ini_file.h"
#include "files/settings.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace scalopex;

constexpr const char* kSections[8] = {"Settings",          "settings", "",    "Slot 1",
                                      "\xC3\x9C\x62\x65r", "\xCE\xA3", "a.b", "x"};
constexpr const char* kKeys[8] = {"Big", "big_size", "DestFolder1", "", "Format1", "\xD0\x9A\xD0\xBB", "Warnings", "k"};
// Values that reading gives back unchanged: plain, outer spaces, quotes,
// separators, non-ASCII text.
constexpr const char* kValues[8] = {"", "_lge", "  padded  ", "\"quoted\"", "'a\"", "a=b;[c]", "\xE2\x82\xAC 5", "\t"};

// A private folder for the settings file, removed when the process ends.
class TScratchFile {
public:
    TScratchFile()
    {
        std::string folder = (std::filesystem::temp_directory_path() / "scalopex-ini-fuzz.XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr)
            fuzz::Finding("cannot make a scratch folder");
        m_folder = folder;
        m_path = m_folder + "/scalopex.ini";
    }
    ~TScratchFile()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;

    const std::string& Hold(fuzz::Bytes bytes) const
    {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush())
            fuzz::Finding("cannot write the scratch file");
        return m_path;
    }

private:
    std::string m_folder;
    std::string m_path;
};

bool SameAsciiName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const TScratchFile scratch;
    const fuzz::Bytes bytes(data, size);
    const std::uint8_t options = fuzz::OptionByte(bytes);
    fuzz::Run([&] {
        files::TIniFile ini(scratch.Hold(bytes));
        const std::string section = kSections[options & 7];
        const std::string key = kKeys[(options >> 3) & 7];
        ini.ReadString(section, key, "default");
        ini.ReadInteger(section, key, -1);
        ini.ReadBool(section, key, true);
        if (options & 0x40) {
            files::TSettings settings;
            files::LoadSettings(ini, settings);
        }
        if (options & 0x80) {
            const std::string value = kValues[size % 8];
            const std::string other = kKeys[((options >> 3) + 1) & 7];
            const bool otherIsKey = SameAsciiName(other, key);
            const std::string otherBefore = ini.ReadString(section, other, "none");
            ini.WriteString(section, key, value);
            if (ini.ReadString(section, key, "none") != value)
                fuzz::Finding("a written value reads back as \"" + ini.ReadString(section, key, "none") + "\"");
            if (!otherIsKey && ini.ReadString(section, other, "none") != otherBefore)
                fuzz::Finding("writing one key changed another of its section");
        }
    });
    return 0;
}
