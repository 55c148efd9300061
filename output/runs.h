#pragma once
/// GO, GO ALL and STOP, written against a small host interface that the
/// window and the batch command implement.

#include <array>
#include <string>
#include <vector>

#include "core/picture.h"
#include "files/settings.h"
#include "output/decode_ahead.h"
#include "output/slot_job.h"
#include "platform/desktop.h"

namespace scalopex::output {

/// What a run needs from its window (or command line).
class IRunHost {
public:
    virtual ~IRunHost() = default;

    /// The slot settings as they are now (read again for every file).
    virtual const files::TSettings& Settings() const = 0;
    /// Whether slot 0, 1 or 2 runs: checked, and for slots 2 and 3 enabled.
    virtual bool SlotActive(int slot) const = 0;
    /// The Copy box: slot 1 of GO puts its image on the clipboard.
    virtual bool CopyOnly() const = 0;

    virtual std::string CurrentFile() const = 0;
    virtual void SetCurrentFile(const std::string& path) = 0;
    /// True when the last file the window tried to open failed, so the
    /// working image is not the current file's; GO ALL keeps it up to date.
    virtual bool LastOpenFailed() const { return false; }
    virtual void SetLastOpenFailed(bool) {}

    virtual int FileCount() const = 0;
    virtual std::string FileName(int index) const = 0;
    virtual bool FileChecked(int index) const = 0;

    /// The preview's picture, holding the working image.
    virtual core::TPicture& Picture() = 0;
    virtual void RepaintPreview() = 0;
    /// GO ALL hidden and STOP shown while a batch runs.
    virtual void SetBatchRunning(bool running) = 0;
    /// Told of every file written.
    virtual void FileWritten(const std::string& path) = 0;
    /// Told of a checked entry whose file was gone when its turn came.
    virtual void FileVanished(const std::string&) {}
    /// During GO ALL: file n (from 1) of the total checked when the run began.
    virtual void ShowBatchProgress(int, int, const std::string&) {}

    virtual platform::IDesktopServices& Desktop() = 0;
};

/// GO ALL's report of a file that opens empty.
inline constexpr const char* kSNoImage = "%s holds no image.";

/// The jobs of the slots that run for one source, in slot order: the target
/// extension starts as the source's own and each slot whose format box is
/// not "NC" changes it for itself and the slots after it.
std::vector<TSlotJob> SlotJobs(const files::TSettings& settings, const std::array<bool, 3>& active,
                               const std::string& sourcePath, bool copyOnlyFirst);

/// What GO ALL did.
struct TBatchResult {
    int filesDone = 0;
    int failures = 0;
    /// Slots that ran without writing their output ("Graphic type cannot be saved!").
    int outputsMissing = 0;
    /// Checked entries whose file was gone when their turn came.
    int filesVanished = 0;
    bool stopped = false;
};

class TRunner {
public:
    /// GO ALL opens up to decodeAhead files ahead on worker threads (0: none).
    explicit TRunner(IRunHost& host, int decodeAhead = 0) : m_host(host), m_ahead(decodeAhead) {}

    /// GO: the active slots on the working image. A failure ends the run
    /// and propagates to the caller, which reports it. After a failed open
    /// nothing is written and a message says so.
    void Go();
    /// GO ALL: every checked entry present when the run begins, in order;
    /// a failing file is reported in a message box and the run goes on.
    TBatchResult GoAll();
    /// STOP: the batch ends before its next file.
    void Stop();
    bool Running() const { return m_running; }

    /// The extension of each slot's format box entry ("" for "NC").
    static std::string FormatExtension(int formatIndex);

private:
    /// Returns the number of slots that ran but wrote nothing.
    int RunSlots(const std::string& sourcePath, bool copyOnlyFirst);

    /// Starts opening the checked entries after entry, as far as there is room.
    void OpenAhead(int entry, int count);

    IRunHost& m_host;
    TDecodeAhead m_ahead;
    bool m_stopRequest = false;
    bool m_running = false;
};

}  // namespace scalopex::output
