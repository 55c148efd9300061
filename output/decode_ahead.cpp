#include "output/decode_ahead.h"

#include <sys/stat.h>

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
    pending.bitmap = std::async(std::launch::async, [name] { return core::LoadGraphicAsBitmap(name); });
    m_pending.insert_or_assign(entry, std::move(pending));
}

std::unique_ptr<core::TBitmap> TDecodeAhead::Take(int entry, const std::string& name)
{
    const auto found = m_pending.find(entry);
    if (found != m_pending.end()) {
        TPending pending = std::move(found->second);
        m_pending.erase(found);
        // A file changed on disk since it was opened ahead is opened again.
        if (pending.name == name && pending.stamp == StampOf(name) && pending.stamp.size >= 0)
            return pending.bitmap.get();
    }
    return core::LoadGraphicAsBitmap(name);
}

}  // namespace scalopex::output
