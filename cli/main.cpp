// scalopex-batch: the runs of the window without a window. Every file named
// on the command line (a folder: its image files) is processed in order, as GO
// ALL does with all of them checked; written paths go to standard output,
// problems to standard error, each naming its file.

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "base/paths.h"
#include "base/warnings.h"
#include "cli/batch_files.h"
#include "cli/batch_options.h"
#include "files/ini_file.h"
#include "files/settings.h"
#include "formats/registry.h"
#include "output/parallel_runs.h"
#include "output/publishing.h"
#include "output/runs.h"
#include "platform/memory.h"

using namespace scalopex;

namespace {

constexpr const char* kProgram = "scalopex-batch";
constexpr const char* kVersion = "scalopex-batch 0.1";

void Report(const std::string& message)
{
    // Message texts break lines with a carriage return; one line each here.
    std::string line;
    bool first = true;
    for (char c : message) {
        if (c != '\r') {
            line += c;
        } else {
            line += first ? ": " : " ";
            first = false;
        }
    }
    std::cerr << kProgram << ": " << line << std::endl;
}

// Desktop services of a terminal: messages on standard error, each naming the
// file being processed, and no clipboard.
class TerminalDesktop final : public platform::IDesktopServices {
public:
    void SetCurrentFile(const std::string& path) { m_current = path; }
    void MessageBox(const std::string& text, const std::string&, platform::MessageIcon icon) override
    {
        // A warning does not fail the run; it says so.
        Report(cli::NameTheFile(m_current, icon == platform::MessageIcon::Warning ? "warning: " + text : text));
    }
    std::optional<std::string> ClipboardFirstFile() override { return std::nullopt; }
    void ClipboardSetImage(const platform::TDesktopImage&) override { throw base::Exception("Cannot open clipboard"); }
    void ShowWaitCursor() override {}
    void RestoreCursor() override {}
    void ProcessPendingEvents() override {}
    void ShellOpen(const std::string&) override {}
    void ShellExplore(const std::string&) override {}
    std::optional<std::string> PickFolder(const std::string&) override { return std::nullopt; }

private:
    std::string m_current;
};

class BatchHost final : public output::IRunHost {
public:
    BatchHost(files::TSettings settings, std::set<int> activeSlots, std::vector<std::string> files)
        : m_settings(std::move(settings)), m_activeSlots(std::move(activeSlots)), m_files(std::move(files)),
          m_checked(m_files.size(), true), m_progress(::isatty(STDERR_FILENO) != 0)
    {
    }

    /// Unchecks files that do not exist, reporting each; returns their count.
    int DropMissingFiles()
    {
        int missing = 0;
        for (std::size_t i = 0; i < m_files.size(); ++i)
            if (!base::FileExists(m_files[i])) {
                Report(m_files[i] + ": no such file");
                m_checked[i] = false;
                ++missing;
            }
        return missing;
    }

    const files::TSettings& Settings() const override { return m_settings; }
    bool SlotActive(int slot) const override { return m_activeSlots.count(slot + 1) != 0; }
    bool CopyOnly() const override { return false; }
    std::string CurrentFile() const override { return m_current; }
    void SetCurrentFile(const std::string& path) override
    {
        m_current = path;
        m_desktop.SetCurrentFile(path);
        ++m_started;
        if (m_progress)
            std::cerr << "[" << m_started << "/" << m_files.size() << "] " << path << std::endl;
    }
    int FileCount() const override { return static_cast<int>(m_files.size()); }
    std::string FileName(int index) const override { return m_files[static_cast<std::size_t>(index)]; }
    bool FileChecked(int index) const override { return m_checked[static_cast<std::size_t>(index)]; }
    core::TPicture& Picture() override { return m_picture; }
    void RepaintPreview() override {}
    void SetBatchRunning(bool) override {}
    void FileWritten(const std::string& path) override { std::cout << path << std::endl; }
    void FileVanished(const std::string& path) override { Report(path + ": no such file"); }
    platform::IDesktopServices& Desktop() override { return m_desktop; }

private:
    files::TSettings m_settings;
    std::set<int> m_activeSlots;
    std::vector<std::string> m_files;
    std::vector<bool> m_checked;
    bool m_progress;
    int m_started = 0;
    std::string m_current;
    core::TPicture m_picture;
    TerminalDesktop m_desktop;
};

// The window's settings file, whether it has been made or not.
std::string WindowSettingsPath()
{
    return files::SettingsFilePath(base::ExtractFilePath(files::ExecutablePath()) + "scalopex");
}

// The settings file a run reads, for --help.
std::string SettingsRead(const cli::TBatchOptions& options)
{
    if (options.noSettings)
        return "none (--settings NONE: the built-in defaults)";
    if (options.settingsFile)
        return *options.settingsFile + (base::FileExists(*options.settingsFile) ? "" : " (no such file)");
    const std::string path = WindowSettingsPath();
    if (base::FileExists(path))
        return path + " (the window's)";
    return "none: the window's " + path + " is not made yet";
}

files::TSettings LoadBatchSettings(const cli::TBatchOptions& options)
{
    files::TSettings settings;
    if (options.noSettings)
        return settings;
    std::string path;
    if (options.settingsFile) {
        path = *options.settingsFile;
        if (!base::FileExists(path))
            throw std::invalid_argument("--settings: no such file: " + path);
    } else {
        // The window's settings file, when it has been made.
        path = WindowSettingsPath();
        if (!base::FileExists(path))
            return settings;
    }
    files::TIniFile ini(path);
    files::LoadSettings(ini, settings);
    return settings;
}

void ApplyOptions(const cli::TBatchOptions& options, files::TSettings& settings)
{
    for (int slot = 0; slot < 3; ++slot) {
        files::TSlotSettings& s = settings.slots[static_cast<std::size_t>(slot)];
        if (options.suffix[slot])
            s.suffix = *options.suffix[slot];
        if (options.maxDimension[slot]) {
            settings.SetMaxDimension(slot, *options.maxDimension[slot]);
            if (s.maxDimension != *options.maxDimension[slot])
                Report("--max" + std::to_string(slot + 1) + ": limited to " + std::to_string(s.maxDimension));
        }
        if (options.formatIndex[slot])
            settings.SetFormatIndex(slot, *options.formatIndex[slot]);
        if (options.destFolder[slot])
            s.destFolder = *options.destFolder[slot];
    }
    if (options.defaultIndex)
        settings.SetDefaultIndex(*options.defaultIndex);
    if (options.warnings)
        settings.warnings = *options.warnings;
}

}  // namespace

int main(int argc, char** argv)
{
    platform::TuneAllocatorForImages();
    output::RemovePendingFilesOnSignals();
    cli::TBatchOptions options;
    files::TSettings settings;
    try {
        options = cli::ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::cout << cli::BatchUsage(SettingsRead(options));
            return 0;
        }
        if (options.version) {
            std::cout << kVersion << std::endl;
            return 0;
        }
        settings = LoadBatchSettings(options);
    } catch (const std::invalid_argument& e) {
        Report(e.what());
        std::cerr << "Try '" << kProgram << " --help'." << std::endl;
        return 2;
    } catch (const std::exception& e) {
        Report(e.what());
        return 2;
    }
    ApplyOptions(options, settings);
    for (const std::string& warning : cli::IdleSlotWarnings(options))
        Report(warning);
    formats::RegisterFileFormats();

    std::set<int> slots;
    for (int slot = 1; slot <= 3; ++slot)
        if (cli::SlotRuns(options, slot))
            slots.insert(slot);
    const cli::TBatchFiles files = cli::ExpandFolders(options.files, Report);
    BatchHost host(settings, slots, files.files);
    const int missing = host.DropMissingFiles();
    // Decoders' warnings name the file being processed, in its turn.
    base::SetWarningHandler([&host](const std::string& text) {
        host.Desktop().MessageBox(text, "Warning", platform::MessageIcon::Warning);
    });
    const output::TBatchResult result = output::GoAllInParallel(host, options.jobs.value_or(output::AvailableCores()));
    // An output asked for and not written fails the run; an empty folder asks for none.
    const bool failed = files.unreadableFolders > 0 || missing > 0 || result.failures > 0 || result.outputsMissing > 0 ||
                        result.filesVanished > 0;
    base::SetWarningHandler({});
    return failed ? 1 : 0;
}
