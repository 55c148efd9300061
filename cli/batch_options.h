#pragma once
// Command-line options of scalopex-batch.

#include <optional>
#include <string>
#include <vector>

namespace scalopex::cli {

/// Values given on the command line; absent ones keep the settings file's.
struct TBatchOptions {
    std::optional<std::string> settingsFile;
    std::optional<std::vector<int>> slots;  // slot numbers 1..3
    std::optional<std::string> suffix[3];
    std::optional<int> maxDimension[3];
    std::optional<int> formatIndex[3];
    std::optional<std::string> destFolder[3];
    std::optional<int> defaultIndex;
    std::optional<bool> warnings;
    bool help = false;
    bool version = false;
    std::vector<std::string> files;
};

/// Parses argv; throws std::invalid_argument with a message for a usage error.
TBatchOptions ParseBatchOptions(const std::vector<std::string>& args);

/// The --help text; its lists of formats are those of the settings.
extern const std::string kBatchUsage;

}  // namespace scalopex::cli
