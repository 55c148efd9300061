#pragma once
// Command-line options of scalopex-batch.

#include <optional>
#include <string>
#include <vector>

namespace scalopex::cli {

/// Values given on the command line; absent ones keep the settings file's.
struct TBatchOptions {
    std::optional<std::string> settingsFile;
    /// --settings NONE or --no-settings: the built-in defaults, no file read.
    bool noSettings = false;
    std::optional<std::vector<int>> slots;  // slot numbers 1..3
    std::optional<std::string> suffix[3];
    std::optional<int> maxDimension[3];
    std::optional<int> formatIndex[3];
    std::optional<std::string> destFolder[3];
    std::optional<int> defaultIndex;
    std::optional<bool> warnings;
    /// --jobs N (-j N): workers for the files; none: as many as cores.
    std::optional<int> jobs;
    bool help = false;
    bool version = false;
    std::vector<std::string> files;
};

/// Parses argv; throws std::invalid_argument with a message for a usage error.
TBatchOptions ParseBatchOptions(const std::vector<std::string>& args);

/// The entry of files::kFormatNames a name stands for, in any case and with
/// the aliases "jpg" and "targa"; -1 for none.
int FormatIndexOf(const std::string& name);
/// The entry of files::kDefaultFormats an extension stands for, in any case,
/// with or without its dot, and with the aliases "jpeg" and "targa"; -1 for none.
int DefaultFormatIndexOf(const std::string& extension);

/// Whether slot 1..3 runs: named by --slots, or slot 1 without it.
bool SlotRuns(const TBatchOptions& options, int slot);

/// One warning for every per-slot option given for a slot that does not run.
std::vector<std::string> IdleSlotWarnings(const TBatchOptions& options);

/// The --help text; settingsRead names the settings file a run would read.
/// Its lists of formats are those of the settings.
std::string BatchUsage(const std::string& settingsRead);

}  // namespace scalopex::cli
