// The replay program of a fuzz target, for builds without libFuzzer: feeds
// each file named, and each file of each folder named, to the target once.
// Files and folders whose names start with "." (such as .gitkeep) are
// skipped. A finding aborts; a path that cannot be read fails with status 1.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/support/fuzz_support.h"

namespace {

namespace fs = std::filesystem;

bool Hidden(const fs::path& path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name.front() == '.';
}

bool Replay(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "replay: %s (%zu bytes)\n", file.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    bool ok = true;
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::error_code ec;
        if (!fs::is_directory(path, ec)) {
            ok = Replay(path) && ok;
            ++count;
            continue;
        }
        std::vector<fs::path> files;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path, ec))
            if (entry.is_regular_file() && !Hidden(entry.path()))
                files.push_back(entry.path());
        if (ec) {
            std::fprintf(stderr, "replay: cannot list %s: %s\n", path.c_str(), ec.message().c_str());
            ok = false;
        }
        std::sort(files.begin(), files.end());  // the same order on every run
        for (const fs::path& file : files) {
            ok = Replay(file) && ok;
            ++count;
        }
    }
    std::fprintf(stderr, "replay: %zu inputs, %s\n", count, ok ? "no findings" : "some could not be read");
    return ok ? 0 : 1;
}
