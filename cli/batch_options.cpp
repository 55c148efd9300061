#include "cli/batch_options.h"

#include <charconv>
#include <stdexcept>

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

}  // namespace

const std::string kBatchUsage =
    "Usage: scalopex-batch [options] FILE...\n"
    "Writes up to three resized copies of every FILE, in the order given.\n"
    "\n"
    "Options (they override the settings file, which is never written):\n"
    "  --settings FILE        settings to read (default: the window's settings file)\n"
    "  --slots LIST           slots that run, e.g. 1,2,3 (default: 1)\n"
    "  --suffix1/2/3 TEXT     file-name suffix of a slot\n"
    "  --max1/2/3 N           maximum dimension of a slot (0 or less: no scaling)\n"
    "  --format1/2/3 FORMAT   " + EitherOf(files::kFormatNames) + " (" + files::kFormatNames[0] + ": no change)\n"
    "  --dest1/2/3 DIR        destination folder of a slot (default: the file's folder)\n"
    "  --default-format EXT   " + EitherOf(files::kDefaultFormats) + ", for extensions that cannot be written\n"
    "  --warnings, --no-warnings  report the fall-back to the default format\n"
    "  --help, --version\n"
    "\n"
    "Prints the path of every file written; problems go to standard error.\n"
    "Exit status: 0 all files done, 1 some failed, 2 usage error.\n";

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

int ParseFormat(const std::string& option, const std::string& text)
{
    const std::string upper = [&] {
        std::string u = text;
        for (char& c : u)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return u;
    }();
    for (std::size_t i = 0; i < files::kFormatNames.size(); ++i)
        if (upper == files::kFormatNames[i])
            return static_cast<int>(i);
    Usage(option + ": unknown format '" + text + "' (" + EitherOf(files::kFormatNames) + ")");
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
        } else if (arg == "--settings") {
            options.settingsFile = value();
        } else if (arg == "--slots") {
            options.slots = ParseSlots(value());
        } else if (arg == "--warnings") {
            flag();
            options.warnings = true;
        } else if (arg == "--no-warnings") {
            flag();
            options.warnings = false;
        } else if (arg == "--default-format") {
            const std::string ext = base::LowerCase(value());
            bool found = false;
            for (std::size_t k = 0; k < files::kDefaultFormats.size(); ++k)
                if (ext == files::kDefaultFormats[k]) {
                    options.defaultIndex = static_cast<int>(k);
                    found = true;
                }
            if (!found)
                Usage("--default-format: " + EitherOf(files::kDefaultFormats));
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
