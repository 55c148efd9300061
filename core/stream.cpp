#include "core/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/exceptions.h"
#include "base/limits.h"
#include "core/huge_pages.h"

namespace scalopex::core {

void TStream::ReadBuffer(void* buffer, std::size_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw base::EReadError();
}

void TStream::WriteBuffer(const void* buffer, std::size_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw base::EWriteError();
}

std::vector<std::uint8_t> TStream::ReadRemaining(std::uint64_t maxBytes)
{
    const std::uint64_t size = Size();
    const std::uint64_t pos = Position();
    const std::uint64_t left = size > pos ? size - pos : 0;
    if (left > maxBytes)
        throw base::ELimitExceeded("File too large: " + std::to_string(left) + " bytes exceeds the limit of " +
                                   std::to_string(maxBytes) + " bytes");
    std::vector<std::uint8_t> bytes;
    if (left >= kHugePageWorthy) {
        // Room past the end lets huge pages cover all but the unaligned head.
        bytes.reserve(static_cast<std::size_t>(left) + (std::size_t{2} << 20));
        AdviseHugePages(bytes.data(), bytes.capacity());
    }
    bytes.resize(static_cast<std::size_t>(left));
    ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

std::span<const std::uint8_t> TStream::ViewRemaining(std::uint64_t maxBytes, std::vector<std::uint8_t>& holder)
{
    holder = ReadRemaining(maxBytes);
    return holder;
}

TFileStream::TFileStream(const std::string& path, Mode mode)
{
    if (mode == Mode::OpenRead) {
        // Opened without blocking, so a named pipe or a device never hangs the
        // program; anything but a regular file is then refused.
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (m_fd < 0)
            throw base::EFOpenError(path, base::SysErrorMessage(errno));
        struct stat st {};
        int error = 0;
        if (::fstat(m_fd, &st) != 0)
            error = errno;
        else if (S_ISDIR(st.st_mode))
            error = EISDIR;
        else if (!S_ISREG(st.st_mode))
            error = EINVAL;
        if (error != 0) {
            ::close(m_fd);
            m_fd = -1;
            throw base::EFOpenError(path, error == EINVAL ? "Not a regular file" : base::SysErrorMessage(error));
        }
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    } else {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            throw base::EFCreateError(path, base::SysErrorMessage(errno));
    }
}

TFileStream::~TFileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TFileStream::Close()
{
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        m_writeError = errno;
        return false;
    }
    return true;
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    std::size_t done = 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::pread(m_fd, out + done, count - done, static_cast<off_t>(m_position));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
        m_position += static_cast<std::uint64_t>(n);
    }
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count)
{
    std::size_t done = 0;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    while (done < count) {
        const ssize_t n = ::pwrite(m_fd, in + done, count - done, static_cast<off_t>(m_position));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_writeError = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
        m_position += static_cast<std::uint64_t>(n);
    }
    return done;
}

std::uint64_t TFileStream::Size() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    if (m_position >= m_bytes.size())
        return 0;
    const std::size_t left = m_bytes.size() - static_cast<std::size_t>(m_position);
    const std::size_t n = count < left ? count : left;
    std::memcpy(buffer, m_bytes.data() + m_position, n);
    m_position += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count)
{
    if (count == 0)
        return 0;
    const std::size_t end = static_cast<std::size_t>(m_position) + count;
    if (end > m_bytes.size())
        m_bytes.resize(end);
    std::memcpy(m_bytes.data() + m_position, buffer, count);
    m_position = end;
    return count;
}

std::span<const std::uint8_t> TMemoryStream::ViewRemaining(std::uint64_t maxBytes, std::vector<std::uint8_t>&)
{
    const std::uint64_t left = m_position < m_bytes.size() ? m_bytes.size() - m_position : 0;
    if (left > maxBytes)
        throw base::ELimitExceeded("File too large: " + std::to_string(left) + " bytes exceeds the limit of " +
                                   std::to_string(maxBytes) + " bytes");
    const std::span<const std::uint8_t> view(m_bytes.data() + (m_bytes.size() - left), static_cast<std::size_t>(left));
    m_position = std::max<std::uint64_t>(m_position, m_bytes.size());
    return view;
}

void TMemoryStream::ExpectWrite(std::uint64_t count)
{
    const std::uint64_t end = m_position + count;
    if (end > m_bytes.capacity() && end <= base::Limits().maxInputBytes)
        m_bytes.reserve(static_cast<std::size_t>(end));
}

std::unique_ptr<TFileStream> CreateNewFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return nullptr;
        throw base::EFCreateError(path, base::SysErrorMessage(errno));
    }
    return std::make_unique<TFileStream>(fd);
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::uint64_t maxBytes)
{
    TFileStream stream(path, TFileStream::Mode::OpenRead);
    return stream.ReadRemaining(maxBytes);
}

}  // namespace scalopex::core
