#pragma once
/// Opens the files a batch will come to next on worker threads, so that the
/// thread of the run only shows, scales and writes them in their turn.

#include <cstdint>
#include <exception>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace scalopex::output {

class TDecodeAhead {
public:
    /// At most depth files are opened ahead at a time; 0 opens none ahead.
    explicit TDecodeAhead(int depth) : m_depth(depth) {}
    /// Waits for the files still being opened.
    ~TDecodeAhead() = default;
    TDecodeAhead(const TDecodeAhead&) = delete;
    TDecodeAhead& operator=(const TDecodeAhead&) = delete;

    /// True when another file may be started now.
    bool HasRoom() const { return static_cast<int>(m_pending.size()) < m_depth; }
    bool Started(int entry) const { return m_pending.count(entry) != 0; }
    /// Starts opening entry's file name on a worker thread.
    void Start(int entry, const std::string& name);
    /// The working image of entry's file: the one opened ahead when the file
    /// is the same as when it was started (name, size, modification time),
    /// else opened now. A failure to open is thrown here, in the file's turn.
    std::unique_ptr<core::TBitmap> Take(int entry, const std::string& name);
    /// Drops every file opened ahead, waiting for those still being opened.
    void Clear() { m_pending.clear(); }

private:
    struct TStamp {
        std::int64_t size = -1;
        std::int64_t modified = 0;  // nanoseconds
        friend bool operator==(const TStamp&, const TStamp&) = default;
    };
    // What opening on the worker gave, its warnings kept for the file's turn.
    struct TOpened {
        std::unique_ptr<core::TBitmap> bitmap;
        std::exception_ptr failure;
        std::vector<std::string> warnings;
    };
    struct TPending {
        std::string name;
        TStamp stamp;
        std::future<TOpened> opened;
    };
    static TStamp StampOf(const std::string& name);

    int m_depth;
    std::map<int, TPending> m_pending;
};

}  // namespace scalopex::output
