#include "cli/batch_options.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <utility>

#include "base/paths.h"
#include "files/settings.h"

namespace scalopex::cli {

namespace {

// "A, B, C or D" from a list of names.
template <typename Names>
std::string EitherOf(const Names& names, std::size_t from = 0)
{
    std::string text;
    for (std::size_t i = from; i < names.size(); ++i) {
        if (i > from)
            text += i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

struct TAlias {
    const char* alias;
    const char* name;
};
// Other names in common use for entries of the format box ...
constexpr TAlias kFormatAliases[] = {{"JPG", "JPEG"}, {"TARGA", "TGA"}};
// ... and of the default-format box, without their dot.
constexpr TAlias kExtensionAliases[] = {{"jpeg", "jpg"}, {"targa", "tga"}};

std::string UpperCase(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// "A and B" from the aliases, lower-cased or not.
template <std::size_t N>
std::string AliasList(const TAlias (&aliases)[N], bool lower)
{
    std::string text;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0)
            text += i + 1 == N ? " and " : ", ";
        text += lower ? base::LowerCase(aliases[i].alias) : aliases[i].alias;
    }
    return text;
}

}  // namespace

std::string BatchUsage(const std::string& settingsRead)
{
    return "Usage: scalopex-batch [options] FILE|FOLDER...\n"
           "Writes up to three resized copies of every FILE, in the order given. A FOLDER\n"
           "stands for the image files in it that the window would list, in name order;\n"
           "its sub-folders are left out.\n"
           "\n"
           "Settings read: " + settingsRead + "\n"
           "\n"
           "Options (they override the settings file, which is never written):\n"
           "  --settings FILE        settings to read (default: the window's settings file)\n"
           "  --settings NONE, --no-settings\n"
           "                         read no settings file: the built-in defaults only\n"
           "  --slots LIST           slots that run, e.g. 1,2,3 (default: 1)\n"
           "  --suffix1/2/3 TEXT     file-name suffix of a slot\n"
           "  --max1/2/3 N           maximum dimension of a slot (0 or less: no scaling)\n"
           "  --format1/2/3 FORMAT   " + EitherOf(files::kFormatNames) + ", in any case; also " +
           AliasList(kFormatAliases, false) + ".\n"
           "                         " + files::kFormatNames[0] + " (no change) on slot 1 keeps the file's own format,\n"
           "                         on slot 2 or 3 the format of the slot before it that runs\n"
           "  --dest1/2/3 DIR        destination folder of a slot (default: the file's folder)\n"
           "  --default-format EXT   " + EitherOf(files::kDefaultFormats) + ", dot optional, any case;\n"
           "                         also " + AliasList(kExtensionAliases, true) +
           ". Used for extensions that cannot be written\n"
           "  --warnings, --no-warnings  report the fall-back to the default format\n"
           "  -j N, --jobs N         files made at once (default: the cores this process may use);\n"
           "                         outputs, lines and messages are those of -j 1, in input order\n"
           "  -h, --help, --version\n"
           "\n"
           "Prints the path of every file written. Problems go to standard error, those\n"
           "of a file as \"scalopex-batch: FILE: MESSAGE\"; the run goes on with the next file.\n"
           "Exit status: 0 every output asked for was written, 1 some output was not\n"
           "(a file failed, held no image or its format cannot be saved), 2 usage error.\n";
}

int FormatIndexOf(const std::string& name)
{
    std::string upper = UpperCase(name);
    for (const TAlias& a : kFormatAliases)
        if (upper == a.alias)
            upper = a.name;
    for (std::size_t i = 0; i < files::kFormatNames.size(); ++i)
        if (upper == files::kFormatNames[i])
            return static_cast<int>(i);
    return -1;
}

int DefaultFormatIndexOf(const std::string& extension)
{
    std::string lower = base::LowerCase(extension);
    if (!lower.empty() && lower[0] == '.')
        lower.erase(0, 1);
    for (const TAlias& a : kExtensionAliases)
        if (lower == a.alias)
            lower = a.name;
    for (std::size_t i = 0; i < files::kDefaultFormats.size(); ++i)
        if ("." + lower == files::kDefaultFormats[i])
            return static_cast<int>(i);
    return -1;
}

bool SlotRuns(const TBatchOptions& options, int slot)
{
    const std::vector<int> slots = options.slots.value_or(std::vector<int>{1});
    return std::find(slots.begin(), slots.end(), slot) != slots.end();
}

std::vector<std::string> IdleSlotWarnings(const TBatchOptions& options)
{
    std::vector<std::string> warnings;
    for (std::size_t s = 0; s < 3; ++s) {
        const int slot = static_cast<int>(s) + 1;
        if (SlotRuns(options, slot))
            continue;
        const std::pair<const char*, bool> given[] = {{"--suffix", options.suffix[s].has_value()},
                                                      {"--max", options.maxDimension[s].has_value()},
                                                      {"--format", options.formatIndex[s].has_value()},
                                                      {"--dest", options.destFolder[s].has_value()}};
        for (const auto& [stem, isGiven] : given)
            if (isGiven)
                warnings.push_back(std::string(stem) + std::to_string(slot) + ": slot " + std::to_string(slot) +
                                   " does not run (see --slots)");
    }
    return warnings;
}

namespace {

[[noreturn]] void Usage(const std::string& message)
{
    throw std::invalid_argument(message);
}

int ParseInt(const std::string& option, const std::string& text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        Usage(option + ": not a whole number: '" + text + "'");
    return value;
}

// More workers than this only cost memory.
constexpr int kMaxJobs = 64;

int ParseJobs(const std::string& option, const std::string& text)
{
    const int jobs = ParseInt(option, text);
    if (jobs < 1 || jobs > kMaxJobs)
        Usage(option + ": from 1 to " + std::to_string(kMaxJobs));
    return jobs;
}


int ParseFormat(const std::string& option, const std::string& text)
{
    const int index = FormatIndexOf(text);
    if (index < 0)
        Usage(option + ": unknown format '" + text + "' (" + EitherOf(files::kFormatNames) + ")");
    return index;
}

std::vector<int> ParseSlots(const std::string& text)
{
    std::vector<int> slots;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const int slot = ParseInt("--slots", item);
        if (slot < 1 || slot > 3)
            Usage("--slots: slot numbers are 1, 2 and 3");
        slots.push_back(slot);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return slots;
}

}  // namespace

TBatchOptions ParseBatchOptions(const std::vector<std::string>& args)
{
    TBatchOptions options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (!optionsEnded && arg == "-h") {
            options.help = true;
            continue;
        }
        // -j N and -jN, as make and other tools take them.
        if (!optionsEnded && arg.size() >= 2 && arg.compare(0, 2, "-j") == 0) {
            std::string text = arg.substr(2);
            if (text.empty()) {
                if (i + 1 >= args.size())
                    Usage("-j needs a value");
                text = args[++i];
            }
            options.jobs = ParseJobs("-j", text);
            continue;
        }
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (arg == "-")
                Usage("'-' is not a file name");
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                Usage(arg + " needs a value");
            return args[++i];
        };
        auto flag = [&]() {
            if (inlineValue)
                Usage(arg + " takes no value");
        };
        // Options ending in a slot number 1..3.
        const char last = arg.back();
        const std::string stem = arg.substr(0, arg.size() - 1);
        const bool numbered = last >= '1' && last <= '3';
        const std::size_t slot = numbered ? static_cast<std::size_t>(last - '1') : 0;
        if (arg == "--help") {
            flag();
            options.help = true;
        } else if (arg == "--version") {
            flag();
            options.version = true;
        } else if (arg == "--jobs") {
            options.jobs = ParseJobs(arg, value());
        } else if (arg == "--settings") {
            // "NONE" is no file; a file of that name can be given as ./NONE.
            std::string file = value();
            options.noSettings = file == "NONE";
            if (options.noSettings)
                options.settingsFile.reset();
            else
                options.settingsFile = std::move(file);
        } else if (arg == "--no-settings") {
            flag();
            options.noSettings = true;
            options.settingsFile.reset();
        } else if (arg == "--slots") {
            options.slots = ParseSlots(value());
        } else if (arg == "--warnings") {
            flag();
            options.warnings = true;
        } else if (arg == "--no-warnings") {
            flag();
            options.warnings = false;
        } else if (arg == "--default-format") {
            const std::string text = value();
            const int index = DefaultFormatIndexOf(text);
            if (index < 0)
                Usage("--default-format: unknown extension '" + text + "' (" + EitherOf(files::kDefaultFormats) + ")");
            options.defaultIndex = index;
        } else if (numbered && stem == "--suffix") {
            options.suffix[slot] = value();
        } else if (numbered && stem == "--max") {
            options.maxDimension[slot] = ParseInt(arg, value());
        } else if (numbered && stem == "--format") {
            options.formatIndex[slot] = ParseFormat(arg, value());
        } else if (numbered && stem == "--dest") {
            options.destFolder[slot] = value();
        } else {
            Usage("unknown option " + arg);
        }
    }
    if (!options.help && !options.version && options.files.empty())
        Usage("no files given");
    return options;
}

}  // namespace scalopex::cli
