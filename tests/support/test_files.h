#pragma once
// Helpers for tests: temporary folders, file bytes, and small rasters.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace scalopex::test {

/// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    /// The folder's path with a trailing '/'.
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

/// The message of the engine exception f throws, or "(no error)".
std::string ErrorOf(const std::function<void()>& f);

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

/// Colour of pixel (x, y) as 0xRRGGBB, whatever the pixel format.
std::uint32_t PixelRGB(const core::TBitmap& bitmap, int x, int y);
/// A pf24bit bitmap of width × height filled by f(x, y) -> 0xRRGGBB.
template <typename F>
std::unique_ptr<core::TBitmap> MakeBitmap24(int width, int height, F f)
{
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(core::pf24bit);
    bitmap->SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = f(x, y);
            row[3 * x] = static_cast<std::uint8_t>(c);
            row[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<std::uint8_t>(c >> 16);
        }
    }
    return bitmap;
}

/// The folder of the public test corpora, with a trailing '/': the
/// environment variable SCALOPEX_CORPUS_DIR when set, else the folder the
/// build was configured with (the CMake variable of the same name).
std::string CorpusDir();
/// Empty when the corpus folder sub (e.g. "bmpsuite") exists; otherwise the
/// line a test that needs it skips with.
std::string MissingCorpusFolder(const std::string& sub);

}  // namespace scalopex::test

/// Skips the current test (GoogleTest) with one line naming the folder,
/// unless the corpus folder sub exists.
#define SCALOPEX_REQUIRE_CORPUS(sub)                                                              \
    do {                                                                                          \
        if (const std::string scalopexMissing = ::scalopex::test::MissingCorpusFolder(sub);       \
            !scalopexMissing.empty())                                                             \
            GTEST_SKIP() << scalopexMissing;                                                      \
    } while (false)
