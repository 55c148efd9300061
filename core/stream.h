#pragma once
/// Byte streams: the abstract TStream, a file stream and a memory stream.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace scalopex::core {

class TStream {
public:
    virtual ~TStream() = default;

    /// Reads up to count bytes; returns how many were read.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    /// Writes up to count bytes; returns how many were written.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    virtual std::uint64_t Size() const = 0;
    virtual std::uint64_t Position() const = 0;
    virtual void SetPosition(std::uint64_t position) = 0;
    /// Tells the stream that about count more bytes will be written, so a
    /// memory stream can grow once instead of step by step.
    virtual void ExpectWrite(std::uint64_t) {}

    /// Reads exactly count bytes or throws EReadError.
    void ReadBuffer(void* buffer, std::size_t count);
    /// Writes exactly count bytes or throws EWriteError.
    void WriteBuffer(const void* buffer, std::size_t count);
    void WriteBuffer(std::span<const std::uint8_t> bytes) { WriteBuffer(bytes.data(), bytes.size()); }

    /// The bytes from the position to the end, moving the position to the end.
    /// More than maxBytes throws ELimitExceeded.
    std::vector<std::uint8_t> ReadRemaining(std::uint64_t maxBytes);
    /// The same bytes without a copy where the stream holds them in memory;
    /// otherwise they are read into holder. The view is valid while holder
    /// lives and the stream is not written to.
    virtual std::span<const std::uint8_t> ViewRemaining(std::uint64_t maxBytes, std::vector<std::uint8_t>& holder);
};

/// A file opened for reading (others may read it) or created for writing.
class TFileStream final : public TStream {
public:
    enum class Mode { OpenRead, Create };
    /// Opening fails with EFOpenError (also for anything but a regular file,
    /// which is never waited for), creating with EFCreateError.
    TFileStream(const std::string& path, Mode mode);
    /// Takes over an open file descriptor.
    explicit TFileStream(int fd) : m_fd(fd) {}
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::uint64_t Size() const override;
    std::uint64_t Position() const override { return m_position; }
    void SetPosition(std::uint64_t position) override { m_position = position; }
    /// The system's error number of the last write that fell short, or 0.
    int WriteError() const { return m_writeError; }
    /// Closes the file now; false when the system reports an error (its
    /// number in WriteError), as it may for data written late.
    bool Close();

private:
    int m_fd = -1;
    std::uint64_t m_position = 0;
    int m_writeError = 0;
};

/// A growable in-memory stream.
class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    void ExpectWrite(std::uint64_t count) override;
    std::span<const std::uint8_t> ViewRemaining(std::uint64_t maxBytes, std::vector<std::uint8_t>& holder) override;
    std::uint64_t Size() const override { return m_bytes.size(); }
    std::uint64_t Position() const override { return m_position; }
    void SetPosition(std::uint64_t position) override { m_position = position; }

    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    std::vector<std::uint8_t> TakeBytes() { m_position = 0; return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_position = 0;
};

/// Creates path only if no file or folder of that name exists at that moment;
/// returns null when one does. Other failures throw EFCreateError.
std::unique_ptr<TFileStream> CreateNewFile(const std::string& path);

/// The whole content of a file (EFOpenError when it cannot be opened).
std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::uint64_t maxBytes);

}  // namespace scalopex::core
