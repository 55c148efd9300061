#include "output/parallel_runs.h"

#include <sched.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "base/exceptions.h"
#include "base/paths.h"
#include "base/warnings.h"
#include "core/opening.h"
#include "core/stream.h"
#include "output/saving.h"
#include "output/slot_job.h"

namespace scalopex::output {

namespace {

// One slot of one file as a worker leaves it: the failure it met before any
// message of saving (scaling, the name checks), or the encoded file and the
// failure of encoding, which comes after the file is made.
struct TSlotWork {
    TSlotJob job;
    std::exception_ptr early;
    std::vector<std::uint8_t> bytes;
    std::exception_ptr encoding;
};

struct TFileWork {
    std::exception_ptr opening;  // the file did not open (or holds no image)
    std::vector<TSlotWork> slots;
    std::vector<std::string> warnings;  // shown in the file's turn
};

// Opens one file and makes its outputs, as far as no file is touched.
TFileWork Prepare(const std::string& name, const std::vector<TSlotJob>& jobs)
{
    TFileWork work;
    std::unique_ptr<core::TBitmap> working;
    try {
        working = core::LoadGraphicAsBitmap(name);
        if (working->Empty())
            throw base::Exception(base::Format(kSNoImage, name));
    } catch (...) {
        work.opening = std::current_exception();
        return work;
    }
    for (const TSlotJob& job : jobs) {
        TSlotWork& slot = work.slots.emplace_back();
        slot.job = job;
        try {
            const std::unique_ptr<core::TBitmap> scaled = ScaledCopy(job, *working);
            const TSavePlan plan = PlanSave(OutputName(job), SavingOptionsOf(job), nullptr);
            if (plan.writer == nullptr)
                continue;
            try {
                core::TMemoryStream memory;
                plan.writer->write(scaled ? *scaled : *working, memory);
                slot.bytes = memory.TakeBytes();
            } catch (...) {
                slot.encoding = std::current_exception();
                break;  // the slots after a failing one do not run
            }
        } catch (...) {
            slot.early = std::current_exception();
            break;
        }
    }
    return work;
}

// Hands out the files to the workers, at most `window` ahead of the one
// being published, and the results back in order.
class TWorkQueue {
public:
    TWorkQueue(std::vector<std::optional<std::string>> names, std::size_t window)
        : m_names(std::move(names)), m_results(m_names.size()), m_window(window)
    {
    }

    // The next file for a worker, or none when all are taken or the run ends.
    std::optional<std::size_t> Take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_ended || m_next >= m_names.size() || m_next < m_published + m_window; });
        while (!m_ended && m_next < m_names.size() && !m_names[m_next])
            ++m_next;  // entries the run skips need no work
        if (m_ended || m_next >= m_names.size())
            return std::nullopt;
        return m_next++;
    }
    const std::string& Name(std::size_t index) const { return *m_names[index]; }

    void Put(std::size_t index, TFileWork work)
    {
        const std::lock_guard lock(m_mutex);
        m_results[index] = std::move(work);
        m_changed.notify_all();
    }
    // Waits for the work of file index; the files before it are done with.
    TFileWork Get(std::size_t index)
    {
        std::unique_lock lock(m_mutex);
        m_published = index;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_results[index].has_value(); });
        TFileWork work = std::move(*m_results[index]);
        m_results[index].reset();
        return work;
    }
    void Drop(std::size_t index)
    {
        const std::lock_guard lock(m_mutex);
        m_published = index + 1;
        m_results[index].reset();
        m_changed.notify_all();
    }
    void End()
    {
        const std::lock_guard lock(m_mutex);
        m_ended = true;
        m_changed.notify_all();
    }

private:
    std::vector<std::optional<std::string>> m_names;  // none: not to be processed
    std::vector<std::optional<TFileWork>> m_results;
    std::size_t m_window;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;
    std::size_t m_published = 0;
    bool m_ended = false;
};

}  // namespace

int AvailableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

TBatchResult GoAllInParallel(IRunHost& host, int jobs)
{
    if (jobs <= 1) {
        TRunner runner(host);
        return runner.GoAll();
    }
    TBatchResult result;
    const int count = host.FileCount();
    if (count == 0)
        return result;
    platform::IDesktopServices& desktop = host.Desktop();

    // What the run reads of the host, taken once: its settings do not change
    // during a batch command's run.
    const files::TSettings settings = host.Settings();
    const std::array<bool, 3> active = {host.SlotActive(0), host.SlotActive(1), host.SlotActive(2)};
    std::vector<std::optional<std::string>> names(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        if (host.FileChecked(i))
            names[static_cast<std::size_t>(i)] = host.FileName(i);

    desktop.ShowWaitCursor();
    host.SetBatchRunning(true);
    TWorkQueue queue(names, static_cast<std::size_t>(jobs) + 1);
    // Declared before the guard, so the workers are told to end before they are joined.
    std::vector<std::jthread> workers;
    struct TEndOnExit {
        TWorkQueue& queue;
        ~TEndOnExit() { queue.End(); }
    } endOnExit{queue};
    for (int w = 0; w < jobs; ++w)
        workers.emplace_back([&] {
            while (const std::optional<std::size_t> index = queue.Take()) {
                const std::string& name = queue.Name(*index);
                base::TWarningCapture capture;
                TFileWork work = Prepare(name, SlotJobs(settings, active, name, false));
                work.warnings = capture.Take();
                queue.Put(*index, std::move(work));
            }
        });

    // The publishing, in input order, as TRunner::GoAll does it.
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i]) {
            queue.Drop(i);
            continue;
        }
        const std::string& name = *names[i];
        try {
            desktop.ProcessPendingEvents();
            if (!base::FileExists(name)) {
                ++result.filesVanished;
                host.FileVanished(name);
                queue.Get(i);  // its work is not used
                continue;
            }
            host.SetCurrentFile(name);
            host.SetLastOpenFailed(true);
            TFileWork work = queue.Get(i);
            base::Replay(work.warnings);
            if (work.opening)
                std::rethrow_exception(work.opening);
            host.SetLastOpenFailed(false);
            for (TSlotWork& slot : work.slots) {
                if (slot.early)
                    std::rethrow_exception(slot.early);
                const TSavingOptions options = SavingOptionsOf(slot.job);
                const TSavePlan plan = PlanSave(OutputName(slot.job), options, &desktop);
                if (plan.writer == nullptr) {
                    desktop.MessageBox(kSGraphicTypeCannotBeSaved, kApplicationTitle, platform::MessageIcon::None);
                    ++result.outputsMissing;
                    continue;
                }
                std::string finalName;
                PublishSave(
                    plan,
                    [&](core::TStream& stream) {
                        if (slot.encoding)
                            std::rethrow_exception(slot.encoding);
                        stream.WriteBuffer(slot.bytes);
                    },
                    options, finalName);
                host.FileWritten(finalName);
            }
            ++result.filesDone;
        } catch (const std::exception& e) {
            ++result.failures;
            desktop.MessageBox(e.what(), kApplicationTitle, platform::MessageIcon::None);
        }
    }
    queue.End();
    workers.clear();  // joins
    host.SetBatchRunning(false);
    desktop.RestoreCursor();
    return result;
}

}  // namespace scalopex::output
