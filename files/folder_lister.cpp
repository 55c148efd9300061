#include "files/folder_lister.h"

#include <dirent.h>
#include <unistd.h>

#include <system_error>

#include "base/exceptions.h"
#include "base/paths.h"

namespace scalopex::files {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The folder whose entries are listed, with a trailing '/'. A bare file name
// has no folder part and lists the current folder, given as an absolute path
// so that entries stay valid whatever the working folder becomes later.
std::string ListedFolder(const std::string& path)
{
    const std::string folder = base::ExtractFilePath(path);
    if (!folder.empty())
        return base::IncludeTrailingBackslash(folder);
    std::string cwd(4096, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr)
        return "./";
    cwd.resize(cwd.find('\0'));
    return base::IncludeTrailingBackslash(cwd);
}

}  // namespace

const std::string& ListMaskLower()
{
    // Made once, before any reader sees it, so workers never race on it.
    static const std::string mask = base::LowerCase(kListMask);
    return mask;
}

bool PassesExtensionTest(const std::string& lowerName)
{
    const std::string ext = base::ExtractFileExt(lowerName);
    return !ext.empty() && ext != "." && ListMaskLower().find(ext) != std::string::npos;
}

TFolderLister::TFolderLister(Sink sink) : m_sink(std::move(sink)) {}

TFolderLister::~TFolderLister()
{
    Stop();
    m_workers.clear();  // joins
}

void TFolderLister::Stop()
{
    for (Worker& worker : m_workers)
        worker.thread.request_stop();
}

std::uint64_t TFolderLister::ListFolder(const std::string& path)
{
    const std::string folder = ListedFolder(path);
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock(m_deliver);
        generation = ++m_generation;
    }
    // Earlier workers stop at their next entry; finished ones are joined here
    // so the list of workers stays short.
    std::erase_if(m_workers, [](Worker& worker) {
        worker.thread.request_stop();
        return worker.done->load();
    });

    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        std::jthread thread([this, generation, folder, done](std::stop_token stop) {
            Enumerate(stop, generation, folder);
            done->store(true);
        });
        m_workers.push_back(Worker{std::move(thread), std::move(done)});
    } catch (const std::system_error& e) {
        throw base::Exception(std::string("Cannot start listing the folder: ") + e.what());
    }
    return generation;
}

bool TFolderLister::IsCurrent(std::uint64_t generation) const
{
    return m_generation.load() == generation;
}

void TFolderLister::Wait()
{
    for (Worker& worker : m_workers)
        if (worker.thread.joinable())
            worker.thread.join();
    m_workers.clear();
}

void TFolderLister::Enumerate(std::stop_token stop, std::uint64_t generation, const std::string& folder)
{
    // Nothing may leave the thread: a failure ends this listing quietly.
    try {
        const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
        if (!dir)
            return;  // missing, unreadable or not a folder: nothing to list
        // The stop request is honoured before every entry, so a superseded
        // listing of a large folder ends early.
        while (!stop.stop_requested()) {
            const dirent* entry = ::readdir(dir.get());
            if (entry == nullptr)
                break;
            const std::string name = entry->d_name;
            // Dot names are ".", ".." and the hidden entries.
            if (name.empty() || name[0] == '.' || !PassesExtensionTest(base::LowerCase(name)))
                continue;
            const std::lock_guard lock(m_deliver);
            if (m_generation.load() != generation)
                return;
            m_sink(generation, folder + name);
        }
    } catch (...) {
    }
}

}  // namespace scalopex::files
