#pragma once
/// Path helpers. Paths are UTF-8 text; only '/' separates their parts.

#include <string>

namespace scalopex::base {

/// The extension with its dot ("/a/b.JPG" gives ".JPG"), or empty.
std::string ExtractFileExt(const std::string& path);
/// path with its extension replaced by ext (ext carries its dot, or is empty).
std::string ChangeFileExt(const std::string& path, const std::string& ext);
/// path up to and including its last '/', or empty.
std::string ExtractFilePath(const std::string& path);
/// path after its last '/'.
std::string ExtractFileName(const std::string& path);
/// path with a trailing '/' (an empty path gives "/").
std::string IncludeTrailingBackslash(const std::string& path);
/// True when path names an existing entry that is not a folder.
bool FileExists(const std::string& path);
/// ASCII lower case, as extensions and masks are compared.
std::string LowerCase(std::string text);

}  // namespace scalopex::base
