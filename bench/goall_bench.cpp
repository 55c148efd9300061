// GO ALL over the 24 photographs of the batch inputs (3000 x 2000 JPEG) with
// the three default slots, with and without opening files ahead: the run of
// the window without its painting. Outputs go to a scratch folder emptied
// between runs. The inputs come from make-inputs.sh (SCALOPEX_BENCH_INPUTS,
// default /tmp/bench-in).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/picture.h"
#include "formats/registry.h"
#include "output/parallel_runs.h"
#include "output/runs.h"

using namespace scalopex;

namespace {

class TQuietDesktop final : public platform::IDesktopServices {
public:
    void MessageBox(const std::string&, const std::string&, platform::MessageIcon) override {}
    std::optional<std::string> ClipboardFirstFile() override { return std::nullopt; }
    void ClipboardSetImage(const platform::TDesktopImage&) override {}
    void ShowWaitCursor() override {}
    void RestoreCursor() override {}
    void ProcessPendingEvents() override {}
    void ShellOpen(const std::string&) override {}
    void ShellExplore(const std::string&) override {}
    std::optional<std::string> PickFolder(const std::string&) override { return std::nullopt; }
};

class TBenchHost final : public output::IRunHost {
public:
    TBenchHost(std::vector<std::string> files, const std::string& out) : m_files(std::move(files))
    {
        for (auto& slot : m_settings.slots)
            slot.destFolder = out;
    }
    const files::TSettings& Settings() const override { return m_settings; }
    bool SlotActive(int) const override { return true; }
    bool CopyOnly() const override { return false; }
    std::string CurrentFile() const override { return m_current; }
    void SetCurrentFile(const std::string& path) override { m_current = path; }
    int FileCount() const override { return static_cast<int>(m_files.size()); }
    std::string FileName(int index) const override { return m_files[static_cast<std::size_t>(index)]; }
    bool FileChecked(int) const override { return true; }
    core::TPicture& Picture() override { return m_picture; }
    void RepaintPreview() override {}
    void SetBatchRunning(bool) override {}
    void FileWritten(const std::string&) override {}
    platform::IDesktopServices& Desktop() override { return m_desktop; }

private:
    files::TSettings m_settings;
    std::vector<std::string> m_files;
    std::string m_current;
    core::TPicture m_picture;
    TQuietDesktop m_desktop;
};

std::vector<std::string> BatchFiles(benchmark::State& state)
{
    const char* dir = std::getenv("SCALOPEX_BENCH_INPUTS");
    const std::string folder = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp/bench-in") + "/batch/";
    std::vector<std::string> files;
    for (int i = 1; i <= 24; ++i)
        files.push_back(folder + "img_" + (i < 10 ? "0" : "") + std::to_string(i) + ".jpg");
    if (!std::filesystem::exists(files.front()))
        state.SkipWithError(("missing " + files.front() + ": run make-inputs.sh").c_str());
    return files;
}

void BM_GoAll(benchmark::State& state)
{
    formats::RegisterFileFormats();
    const std::vector<std::string> files = BatchFiles(state);
    const std::string out = std::filesystem::temp_directory_path().string() + "/scalopex-goall-bench/";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        TBenchHost host(files, out);
        output::TRunner runner(host, static_cast<int>(state.range(0)));
        state.ResumeTiming();
        benchmark::DoNotOptimize(runner.GoAll());
    }
    std::filesystem::remove_all(out);
}

}  // namespace

BENCHMARK(BM_GoAll)->ArgName("ahead")->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
