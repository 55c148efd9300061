#include "cli/batch_files.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/paths.h"
#include "files/folder_lister.h"

namespace scalopex::cli {

namespace {

// The listed names of one folder, sorted; false when it cannot be read.
bool ListImageFiles(const std::string& folder, std::vector<std::string>& names, std::string& reason)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Dot names are the hidden entries, which the window does not list either.
        if (name.empty() || name[0] == '.' || !files::PassesExtensionTest(base::LowerCase(name)))
            continue;
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            names.push_back(name);
    }
    if (ec) {
        reason = ec.message();
        return false;
    }
    // std::string compares as unsigned bytes: the byte order of the names.
    std::sort(names.begin(), names.end());
    return true;
}

}  // namespace

TBatchFiles ExpandFolders(const std::vector<std::string>& args, const std::function<void(const std::string&)>& report)
{
    TBatchFiles result;
    for (const std::string& arg : args) {
        std::error_code ec;
        if (!std::filesystem::is_directory(arg, ec)) {
            result.files.push_back(arg);
            continue;
        }
        std::vector<std::string> names;
        std::string reason;
        if (!ListImageFiles(arg, names, reason)) {
            report(arg + ": cannot read the folder: " + reason);
            ++result.unreadableFolders;
            continue;
        }
        if (names.empty())
            report(arg + ": no image files in the folder");
        const std::string folder = base::IncludeTrailingBackslash(arg);
        for (const std::string& name : names)
            result.files.push_back(folder + name);
    }
    return result;
}

std::string NameTheFile(const std::string& path, const std::string& message)
{
    if (path.empty())
        return message;
    if (message.compare(0, path.size(), path) == 0 &&
        (message.size() == path.size() || std::string_view(" :\r\n").find(message[path.size()]) != std::string_view::npos))
        return message;
    return path + ": " + message;
}

}  // namespace scalopex::cli
