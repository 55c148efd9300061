#include "base/exceptions.h"

#include <cstring>

namespace scalopex::base {

namespace {

// Replaces the first `%s` (or `%d`) of text by value.
std::string ReplaceFirst(std::string text, const std::string& value)
{
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '%' && (text[i + 1] == 's' || text[i + 1] == 'd')) {
            text.replace(i, 2, value);
            return text;
        }
    }
    return text;
}

}  // namespace

std::string Format(const char* pattern, const std::string& a)
{
    return ReplaceFirst(pattern, a);
}

std::string Format(const char* pattern, const std::string& a, const std::string& b)
{
    const std::string first = ReplaceFirst(pattern, a);
    // Search for the second placeholder after the inserted text only.
    const std::size_t at = std::string(pattern).find('%');
    const std::size_t skip = (at == std::string::npos) ? 0 : at + a.size();
    return first.substr(0, skip) + ReplaceFirst(first.substr(skip), b);
}

std::string SysErrorMessage(int errorCode)
{
    return std::strerror(errorCode);
}

EFOpenError::EFOpenError(const std::string& path, const std::string& systemMessage)
    : EStreamError(Format("Cannot open file \"%s\". %s", path, systemMessage))
{
}

EFCreateError::EFCreateError(const std::string& path, const std::string& systemMessage)
    : EStreamError(Format("Cannot create file \"%s\". %s", path, systemMessage))
{
}

EOSError::EOSError(int code, const std::string& systemMessage)
    : Exception(Format("System Error.  Code: %d.\r\n%s", std::to_string(code), systemMessage)), m_code(code)
{
}

}  // namespace scalopex::base
