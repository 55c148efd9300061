#include "tests/support/tools.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace scalopex::test {

TPixmap ToPixmap(const core::TBitmap& bitmap, bool alpha)
{
    const core::TBitmapImage& image = bitmap.Image();
    const bool withAlpha = alpha && bitmap.PixelFormat() == core::pf32bit;
    TPixmap out{image.width, image.height, {}, {}, {}};
    out.rgb.reserve(static_cast<std::size_t>(image.width) * image.height * 3);
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(image.width) * 4);
    for (int y = 0; y < image.height; ++y) {
        core::UnpackRow(image, image.Row(y), image.width, bgra.data());
        for (int x = 0; x < image.width; ++x) {
            out.rgb.insert(out.rgb.end(), {bgra[4 * x + 2], bgra[4 * x + 1], bgra[4 * x]});
            if (withAlpha)
                out.alpha.push_back(bitmap.ScanLineRead(y)[4 * x + 3]);
        }
    }
    return out;
}

int MaxDifference(const TPixmap& a, const TPixmap& b)
{
    if (a.width != b.width || a.height != b.height)
        return -1;
    int worst = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i)
        worst = std::max(worst, std::abs(a.rgb[i] - b.rgb[i]));
    return worst;
}

double MeanDifference(const TPixmap& a, const TPixmap& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i)
        sum += std::abs(a.rgb[i] - b.rgb[i]);
    return a.rgb.empty() ? 0.0 : sum / static_cast<double>(a.rgb.size());
}

std::optional<TPixmap> ReadPnm(std::span<const std::uint8_t> bytes)
{
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string magic;
    int width = 0, height = 0, maxval = 0, channels = 0;
    in >> magic;
    if (magic == "P5" || magic == "P6") {
        in >> width >> height >> maxval;
        channels = magic == "P6" ? 3 : 1;
    } else if (magic == "P7") {
        for (std::string key; in >> key && key != "ENDHDR";) {
            int other = 0;
            if (key == "TUPLTYPE")
                in >> key;
            else
                in >> (key == "WIDTH" ? width : key == "HEIGHT" ? height : key == "DEPTH" ? channels : key == "MAXVAL" ? maxval : other);
        }
    }
    // One white-space byte ends the header.
    if (!in || width <= 0 || height <= 0 || maxval != 255 || channels < 1 || channels > 4 || !std::isspace(in.get()))
        return std::nullopt;
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * static_cast<std::size_t>(channels);
    if (size > bytes.size())
        return std::nullopt;
    std::vector<std::uint8_t> data(size);
    if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size())))
        return std::nullopt;
    TPixmap out{width, height, {}, {}, {}};
    for (std::size_t i = 0; i < data.size(); i += static_cast<std::size_t>(channels)) {
        const std::uint8_t* p = &data[i];
        out.rgb.insert(out.rgb.end(), {p[0], p[channels >= 3 ? 1 : 0], p[channels >= 3 ? 2 : 0]});
        if (channels % 2 == 0)
            out.alpha.push_back(p[channels - 1]);
    }
    return out;
}

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<std::uint8_t> RunCommand(const std::string& command, int* status)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("popen failed");
    std::vector<std::uint8_t> out;
    std::uint8_t buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    const int rc = ::pclose(pipe);
    if (status != nullptr)
        *status = rc;
    return out;
}

std::optional<TPixmap> RunForPnm(const std::string& command) { return ReadPnm(RunCommand(command + " 2>/dev/null")); }

std::optional<TPixmap> ImageMagickPixels(const std::string& path, const std::string& options)
{
    int status = -1;
    const std::vector<std::uint8_t> pam = RunCommand("convert '" + path + "' " + options + " -depth 8 pam:- 2>/dev/null", &status);
    return status == 0 ? ReadPnm(pam) : std::nullopt;
}

}  // namespace scalopex::test
