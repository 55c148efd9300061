#pragma once
/// Exception types of the engine. Every failure is raised as one of these,
/// carrying the exact text that the user sees.

#include <stdexcept>
#include <string>

namespace scalopex::base {

/// Root of all engine exceptions; `what()` is the message.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

/// Bad image data or an unsupported graphic operation on a format.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

/// An operation the graphic cannot perform in its current state.
class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

/// Data ended early ("Stream read error").
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};

/// A write reached fewer bytes than asked ("Stream write error").
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};

/// "Cannot open file "%s". %s"
class EFOpenError : public EStreamError {
public:
    EFOpenError(const std::string& path, const std::string& systemMessage);
};

/// "Cannot create file "%s". %s"
class EFCreateError : public EStreamError {
public:
    EFCreateError(const std::string& path, const std::string& systemMessage);
};

class EOutOfMemory : public Exception {
public:
    using Exception::Exception;
};

/// A drawing resource or a raster could not be had: "Out of system resources",
/// or a size beyond the engine's limits.
class EOutOfResources : public EOutOfMemory {
public:
    EOutOfResources() : EOutOfMemory("Out of system resources") {}
    using EOutOfMemory::EOutOfMemory;
};

/// A size beyond the engine's limits, kept apart from bad files: the message
/// names the size and the limit.
class ELimitExceeded : public EOutOfResources {
public:
    using EOutOfResources::EOutOfResources;
};

/// A broken promise between parts of the program, such as a buffer too small
/// for a row: not a bad file, so it is no Exception and no reader catches it.
class EInternalError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

/// "System Error.  Code: %d.\r\n%s"
class EOSError : public Exception {
public:
    EOSError(int code, const std::string& systemMessage);
    int ErrorCode() const { return m_code; }

private:
    int m_code;
};

/// An abstract operation that a class does not provide ("Abstract Error").
class EAbstractError : public Exception {
public:
    EAbstractError() : Exception("Abstract Error") {}
};

/// "Cannot assign a %s to a %s"
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Message texts shared by several modules.
inline constexpr const char* kSInvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* kSInvalidPixelFormat = "Invalid pixel format";
inline constexpr const char* kSScanLine = "Scan line index out of range";
inline constexpr const char* kSUnknownExtension = "Unknown picture file extension (.%s)";
inline constexpr const char* kSInvalidImage = "Cannot load image. Invalid or unexpected %s image format.";

/// printf-style formatting of a message text with `%s` and `%d` placeholders.
std::string Format(const char* pattern, const std::string& a);
std::string Format(const char* pattern, const std::string& a, const std::string& b);

/// The system's text for an errno value.
std::string SysErrorMessage(int errorCode);

}  // namespace scalopex::base
