#include "output/decode_ahead.h"

#include <sys/stat.h>

#include "base/warnings.h"
#include "core/opening.h"

namespace scalopex::output {

TDecodeAhead::TStamp TDecodeAhead::StampOf(const std::string& name)
{
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0)
        return {};
    return {static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void TDecodeAhead::Start(int entry, const std::string& name)
{
    TPending pending;
    pending.name = name;
    pending.stamp = StampOf(name);
    pending.opened = std::async(std::launch::async, [name] {
        TOpened opened;
        base::TWarningCapture capture;
        try {
            opened.bitmap = core::LoadGraphicAsBitmap(name);
        } catch (...) {
            opened.failure = std::current_exception();
        }
        opened.warnings = capture.Take();
        return opened;
    });
    m_pending.insert_or_assign(entry, std::move(pending));
}

std::unique_ptr<core::TBitmap> TDecodeAhead::Take(int entry, const std::string& name)
{
    const auto found = m_pending.find(entry);
    if (found != m_pending.end()) {
        TPending pending = std::move(found->second);
        m_pending.erase(found);
        // A file changed on disk since it was opened ahead is opened again.
        if (pending.name == name && pending.stamp == StampOf(name) && pending.stamp.size >= 0) {
            TOpened opened = pending.opened.get();
            base::Replay(opened.warnings);
            if (opened.failure)
                std::rethrow_exception(opened.failure);
            return std::move(opened.bitmap);
        }
    }
    return core::LoadGraphicAsBitmap(name);
}

}  // namespace scalopex::output
