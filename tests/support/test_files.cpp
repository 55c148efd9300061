#include "tests/support/test_files.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "base/exceptions.h"

namespace scalopex::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "scalopex-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const base::Exception& e) {
        return e.what();
    }
    return "(no error)";
}

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t PixelRGB(const core::TBitmap& bitmap, int x, int y)
{
    const core::TBitmapImage& image = bitmap.Image();
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(image.width) * 4);
    core::UnpackRow(image, image.Row(y), image.width, bgra.data());
    const std::uint8_t* p = bgra.data() + 4 * x;
    return (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
}

std::string CorpusDir()
{
    const char* chosen = std::getenv("SCALOPEX_CORPUS_DIR");
    std::string dir = chosen != nullptr && *chosen != '\0' ? chosen : SCALOPEX_CORPUS_DIR;
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

std::string MissingCorpusFolder(const std::string& sub)
{
    const std::filesystem::path folder = std::filesystem::path(CorpusDir() + sub).lexically_normal();
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        return "";
    std::string shown = folder.string();
    if (shown.size() > 1 && shown.back() == '/')
        shown.pop_back();
    return "corpus folder " + shown + " not found (set SCALOPEX_CORPUS_DIR)";
}

}  // namespace scalopex::test
