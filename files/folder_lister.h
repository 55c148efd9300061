#pragma once
/// The folder listing worker: fills the file list with the image files of the
/// current file's folder on a thread of its own.
///
/// Each ListFolder starts a new generation. Matches reach the sink on the
/// worker's thread, tagged with their generation; the window posts them to its
/// event loop and appends only those whose generation is still current, so an
/// earlier listing never lands in a newer list. ListFolder also asks earlier
/// workers to stop, and from the moment it returns the sink receives no match
/// of an earlier generation.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace scalopex::files {

/// The extensions the list shows, independent of the format registry.
inline constexpr const char* kListMask =
    "*.jpc;*.j2k;*.jp2;*.jpeg;*.jpe;*.jpg;*.jfif;*.emf;*.wmf;*.bmp;*.gif;*.png;*.tif;*.tiff;*.tga;*.dib;*.rle;*.tga;";

/// The lower-cased list mask, shared by every worker of the process.
const std::string& ListMaskLower();

/// The extension test on a lower-cased name: its extension (dot included)
/// occurs in the lower-cased mask; a name without one, or ending in a bare
/// dot, fails.
bool PassesExtensionTest(const std::string& lowerName);

class TFolderLister {
public:
    /// Called on a worker thread with every match: the folder with a trailing
    /// '/' followed by the entry's name. It must not block on the thread that
    /// calls ListFolder, nor call back into the lister; an exception from it
    /// ends that worker.
    using Sink = std::function<void(std::uint64_t generation, const std::string& path)>;

    explicit TFolderLister(Sink sink);
    /// Asks every worker to stop and waits for them.
    ~TFolderLister();
    TFolderLister(const TFolderLister&) = delete;
    TFolderLister& operator=(const TFolderLister&) = delete;

    /// Starts listing the folder of path (ExtractFilePath; a bare file name
    /// lists the current folder) and returns the new generation at once. The
    /// caller clears its list first. A missing folder lists nothing.
    std::uint64_t ListFolder(const std::string& path);
    /// True while generation is that of the latest ListFolder. Any thread.
    bool IsCurrent(std::uint64_t generation) const;
    /// Asks every worker to stop at its next entry, without waiting.
    void Stop();
    /// Waits until every worker has finished (tests and the batch command).
    void Wait();

private:
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void Enumerate(std::stop_token stop, std::uint64_t generation, const std::string& folder);

    Sink m_sink;
    std::atomic<std::uint64_t> m_generation{0};
    // Held while a match is handed to the sink and while the generation
    // moves on, so no stale match can be delivered after ListFolder returns.
    std::mutex m_deliver;
    // Touched only by the thread that owns the lister.
    std::vector<Worker> m_workers;
};

}  // namespace scalopex::files
