#include "output/runs.h"

#include <memory>
#include <string_view>

#include "base/exceptions.h"
#include "base/paths.h"
#include "core/opening.h"
#include "formats/registry.h"
#include "output/saving.h"
#include "output/slot_job.h"

namespace scalopex::output {

namespace {

constexpr const char* kSNotOpened = "%s could not be opened; nothing was written.";

// Shows the wait cursor for its lifetime; Restore may bring the saved one
// back earlier, once.
class WaitCursor {
public:
    explicit WaitCursor(platform::IDesktopServices& desktop) : m_desktop(desktop) { m_desktop.ShowWaitCursor(); }
    ~WaitCursor() { Restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void Restore()
    {
        if (m_shown) {
            m_shown = false;
            m_desktop.RestoreCursor();
        }
    }

private:
    platform::IDesktopServices& m_desktop;
    bool m_shown = true;
};

}  // namespace

std::string TRunner::FormatExtension(int formatIndex)
{
    if (formatIndex <= 0 || formatIndex >= static_cast<int>(files::kFormatNames.size()))
        return "";  // "NC", or no entry selected
    const std::string_view name = files::kFormatNames[static_cast<std::size_t>(formatIndex)];
    for (const formats::TFormatDescriptor* format : formats::Formats())
        if (format->writer != nullptr && format->writer->boxName != nullptr && name == format->writer->boxName)
            return format->writer->extension;
    return "";
}

namespace {

// The job of one slot that runs, its target extension carried from the
// slots before it: a format box that is not "NC" (nor without a valid
// entry) changes it.
TSlotJob SlotJob(const files::TSettings& settings, int slot, const std::string& sourcePath, std::string& target,
                 bool copyOnlyFirst)
{
    const files::TSlotSettings& s = settings.slots[static_cast<std::size_t>(slot)];
    const std::string formatExt = TRunner::FormatExtension(s.formatIndex);
    if (s.FormatText() != "NC" && !formatExt.empty())
        target = formatExt;
    TSlotJob job;
    job.sourcePath = sourcePath;
    job.suffix = s.suffix;
    job.copyOnly = slot == 0 && copyOnlyFirst;
    job.maxDimension = s.maxDimension;
    job.destFolder = s.destFolder;
    job.targetExtension = target;
    job.defaultExtension = settings.DefaultExtension();
    job.warnings = settings.warnings;
    return job;
}

}  // namespace

std::vector<TSlotJob> SlotJobs(const files::TSettings& settings, const std::array<bool, 3>& active,
                               const std::string& sourcePath, bool copyOnlyFirst)
{
    std::vector<TSlotJob> jobs;
    std::string target = base::ExtractFileExt(sourcePath);
    for (int slot = 0; slot < 3; ++slot)
        if (active[static_cast<std::size_t>(slot)])
            jobs.push_back(SlotJob(settings, slot, sourcePath, target, copyOnlyFirst));
    return jobs;
}

int TRunner::RunSlots(const std::string& sourcePath, bool copyOnlyFirst)
{
    int missing = 0;
    std::string target = base::ExtractFileExt(sourcePath);
    for (int slot = 0; slot < 3; ++slot) {
        if (!m_host.SlotActive(slot))
            continue;
        // The settings are read as each slot runs: the user may change them during a batch.
        const TSlotJob job = SlotJob(m_host.Settings(), slot, sourcePath, target, copyOnlyFirst);
        m_host.RepaintPreview();
        const std::string written = ProcessSlot(job, m_host.Picture().Bitmap(), m_host.Desktop());
        if (!written.empty())
            m_host.FileWritten(written);
        else if (!job.copyOnly)
            ++missing;
    }
    return missing;
}

void TRunner::Go()
{
    if (m_host.LastOpenFailed()) {
        // The preview still shows the file before; writing it under the
        // failed file's name would misname it.
        m_host.Desktop().MessageBox(base::Format(kSNotOpened, m_host.CurrentFile()), kApplicationTitle,
                                    platform::MessageIcon::None);
        return;
    }
    if (m_host.Picture().Bitmap().Empty())
        return;
    WaitCursor cursor(m_host.Desktop());
    RunSlots(m_host.CurrentFile(), m_host.CopyOnly());
}

void TRunner::OpenAhead(int entry, int count)
{
    for (int j = entry + 1; j < count && j < m_host.FileCount() && m_ahead.HasRoom(); ++j)
        if (m_host.FileChecked(j) && !m_ahead.Started(j))
            m_ahead.Start(j, m_host.FileName(j));
}

TBatchResult TRunner::GoAll()
{
    TBatchResult result;
    if (m_running || m_host.FileCount() == 0)
        return result;  // a second click during a batch is ignored
    platform::IDesktopServices& desktop = m_host.Desktop();
    WaitCursor cursor(desktop);
    m_stopRequest = false;
    m_running = true;
    m_host.SetBatchRunning(true);
    m_ahead.Clear();
    const int count = m_host.FileCount();
    int total = 0;
    for (int i = 0; i < count; ++i)
        total += m_host.FileChecked(i) ? 1 : 0;
    int turn = 0;
    for (int i = 0; i < count; ++i) {
        try {
            if (i >= m_host.FileCount() || !m_host.FileChecked(i))
                continue;
            desktop.ProcessPendingEvents();
            if (m_stopRequest) {
                result.stopped = true;
                break;
            }
            if (i >= m_host.FileCount())
                continue;
            const std::string name = m_host.FileName(i);
            if (!base::FileExists(name)) {
                ++result.filesVanished;
                m_host.FileVanished(name);
                continue;
            }
            m_host.SetCurrentFile(name);
            m_host.ShowBatchProgress(++turn, total, name);
            m_host.SetLastOpenFailed(true);
            OpenAhead(i, count);
            {
                std::unique_ptr<core::TBitmap> bitmap = m_ahead.Take(i, name);
                // A file that opens empty is reported; it would give empty or unreadable outputs.
                if (bitmap->Empty())
                    throw base::Exception(base::Format(kSNoImage, name));
                m_host.Picture().Assign(bitmap.get());
            }
            m_host.SetLastOpenFailed(false);
            m_host.RepaintPreview();
            result.outputsMissing += RunSlots(name, false);
            ++result.filesDone;
        } catch (const std::exception& e) {
            ++result.failures;
            desktop.MessageBox(e.what(), kApplicationTitle, platform::MessageIcon::None);
            m_host.SetBatchRunning(false);
            cursor.Restore();
        }
    }
    m_ahead.Clear();  // files opened ahead of a stop are not used
    m_running = false;
    m_host.SetBatchRunning(false);
    return result;
}

void TRunner::Stop()
{
    m_stopRequest = true;
    m_host.SetBatchRunning(false);
}

}  // namespace scalopex::output
