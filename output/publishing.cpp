#include "output/publishing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/exceptions.h"

namespace scalopex::output {

namespace {

// Temporary files in flight, for the signal handler: fixed storage, because
// the handler may only touch what was there before the signal came.
constexpr std::size_t kSlots = 64;
constexpr std::size_t kPathBytes = 4096;
std::array<std::atomic<bool>, kSlots> g_inUse{};
std::array<std::array<char, kPathBytes>, kSlots> g_paths{};
std::atomic<unsigned> g_counter{0};

int Register(const std::string& path)
{
    if (path.size() >= kPathBytes)
        return -1;
    for (std::size_t i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (g_inUse[i].load() || !g_inUse[i].compare_exchange_strong(expected, true))
            continue;
        std::memcpy(g_paths[i].data(), path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        return static_cast<int>(i);
    }
    return -1;  // beyond the table: still removed normally, only not on a signal
}

void Unregister(int slot)
{
    if (slot >= 0)
        g_inUse[static_cast<std::size_t>(slot)].store(false);
}

extern "C" void RemovePendingAndRaise(int signal)
{
    for (std::size_t i = 0; i < kSlots; ++i)
        if (g_inUse[i].load())
            ::unlink(g_paths[i].data());
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Copies the complete temporary file into a newly made name: for file
// systems that can neither rename without replacing nor link.
bool CopyInto(const std::string& from, const std::string& to)
{
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        if (errno == EEXIST)
            return false;
        throw base::EFCreateError(to, base::SysErrorMessage(errno));
    }
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> buffer(1 << 20);
    int error = in < 0 ? errno : 0;
    while (error == 0) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        for (ssize_t done = 0; done < n && error == 0;) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                error = w < 0 ? errno : ENOSPC;
            else
                done += w;
        }
    }
    if (in >= 0)
        ::close(in);
    if (::close(out) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(to.c_str());
        ThrowWriteError(to, error);
    }
    return true;
}

}  // namespace

void ThrowWriteError(const std::string& path, int errorNumber)
{
    throw base::EWriteError(base::Format("Cannot write file \"%s\". %s", path, base::SysErrorMessage(errorNumber)));
}

TPendingFile::TPendingFile(const std::string& folder, const std::string& wouldBe)
{
    const std::string prefix = folder.empty() ? std::string() : folder;
    for (int attempt = 0; !m_stream; ++attempt) {
        m_path = prefix + ".scalopex-" + std::to_string(::getpid()) + "-" + std::to_string(g_counter++) + ".tmp";
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_stream = std::make_unique<core::TFileStream>(fd);
        } else if (errno != EEXIST || attempt > 100) {
            throw base::EFCreateError(wouldBe, base::SysErrorMessage(errno));
        }
    }
    m_slot = Register(m_path);
}

TPendingFile::~TPendingFile()
{
    m_stream.reset();
    if (!m_published)
        ::unlink(m_path.c_str());
    Unregister(m_slot);
}

void TPendingFile::Close(const std::string& wouldBe)
{
    if (m_stream && !m_stream->Close())
        ThrowWriteError(wouldBe, m_stream->WriteError());
}

bool TPendingFile::PublishAs(const std::string& name)
{
    if (m_stream)
        Close(name);
    // Renaming without replacing is one step; where the file system cannot,
    // a hard link does the same in two, and a copy is the last resort.
    if (::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
        m_published = true;
    } else if (errno == EEXIST) {
        return false;
    } else if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        throw base::EFCreateError(name, base::SysErrorMessage(errno));
    } else if (::link(m_path.c_str(), name.c_str()) == 0) {
        m_published = true;
        ::unlink(m_path.c_str());
    } else if (errno == EEXIST) {
        return false;
    } else if (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK) {
        if (!CopyInto(m_path, name))
            return false;
        m_published = true;
        ::unlink(m_path.c_str());
    } else {
        throw base::EFCreateError(name, base::SysErrorMessage(errno));
    }
    Unregister(m_slot);
    m_slot = -1;
    return true;
}

void RemovePendingFilesOnSignals()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = &RemovePendingAndRaise;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace scalopex::output
