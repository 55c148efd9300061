#pragma once
// The files a batch run processes, and the naming of the file a message is about.

#include <functional>
#include <string>
#include <vector>

namespace scalopex::cli {

/// The files of the command line, folders expanded.
struct TBatchFiles {
    std::vector<std::string> files;
    /// Folders that could not be read.
    int unreadableFolders = 0;
};

/// Every argument that is not a folder is kept as given. A folder stands for
/// the entries the window's file list would show — not hidden, passing the
/// extension test — that are regular files, in byte order of their names; its
/// sub-folders are not entered. A folder without such files, and one that
/// cannot be read, is reported through report.
TBatchFiles ExpandFolders(const std::vector<std::string>& args, const std::function<void(const std::string&)>& report);

/// message as "PATH: message", unless path is empty or message already begins
/// with path followed by a space, ':', a line break or nothing.
std::string NameTheFile(const std::string& path, const std::string& message);

}  // namespace scalopex::cli
