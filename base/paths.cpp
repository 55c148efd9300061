#include "base/paths.h"

#include <sys/stat.h>

namespace scalopex::base {

namespace {

// Index of the last '.' after the last '/', or npos.
std::size_t ExtensionDot(const std::string& path)
{
    const std::size_t i = path.find_last_of("./");
    if (i == std::string::npos || path[i] != '.')
        return std::string::npos;
    return i;
}

}  // namespace

std::string ExtractFileExt(const std::string& path)
{
    const std::size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext)
{
    const std::size_t dot = ExtensionDot(path);
    return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

std::string ExtractFilePath(const std::string& path)
{
    const std::size_t i = path.find_last_of('/');
    return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

std::string ExtractFileName(const std::string& path)
{
    const std::size_t i = path.find_last_of('/');
    return i == std::string::npos ? path : path.substr(i + 1);
}

std::string IncludeTrailingBackslash(const std::string& path)
{
    if (!path.empty() && path.back() == '/')
        return path;
    return path + '/';
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string LowerCase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace scalopex::base
