#pragma once
// Helpers of the PCX, Photoshop, SGI and portable map reader tests: loading
// from memory, the message of a failure, and Pillow's decode of a file as a
// second independent reference beside ImageMagick's.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "tests/support/tools.h"

namespace scalopex::test {

using Bytes = std::vector<std::uint8_t>;

/// Loads graphic from a memory stream holding bytes.
template <typename Graphic>
void LoadBytes(Graphic& graphic, Bytes bytes)
{
    core::TMemoryStream stream(std::move(bytes));
    graphic.LoadFromStream(stream);
}

/// The message of the engine exception f raises; "(no error)" when it raises none.
inline std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const base::Exception& e) {
        return e.what();
    }
    return "(no error)";
}

/// The message of loading bytes into a new Graphic, "(no error)" when it loads.
template <typename Graphic>
std::string LoadError(Bytes bytes)
{
    return ErrorOf([&] {
        Graphic graphic;
        LoadBytes(graphic, std::move(bytes));
    });
}

/// A deterministic picture with flat bands and a diagonal pattern, so that
/// run-length files hold runs and literals. colours > 0 limits it to that
/// many colours (2: black and white); grey makes every colour grey; alpha
/// adds a ramp of alpha values.
inline TPixmap Picture(int width, int height, int colours, bool grey = false, bool alpha = false)
{
    TPixmap out;
    out.width = width;
    out.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t rgb[3];
            if (colours > 0) {
                const int k = (y / 3 % 2 == 0) ? 1 % colours : (x * 3 + y * 5 + (x * y) % 7) % colours;
                if (colours == 2) {
                    rgb[0] = rgb[1] = rgb[2] = static_cast<std::uint8_t>(k * 255);
                } else {
                    rgb[0] = static_cast<std::uint8_t>(k * 53);
                    rgb[1] = static_cast<std::uint8_t>(k * 97 + 11);
                    rgb[2] = static_cast<std::uint8_t>(k * 151 + 40);
                }
            } else {
                const bool band = (y / 4) % 2 == 0;
                rgb[0] = static_cast<std::uint8_t>(band ? 200 : x * 7 + y);
                rgb[1] = static_cast<std::uint8_t>(band ? 40 : (x * y) & 255);
                rgb[2] = static_cast<std::uint8_t>(band ? 90 : 255 - x * 3);
            }
            if (grey)
                rgb[1] = rgb[2] = rgb[0];
            out.rgb.insert(out.rgb.end(), rgb, rgb + 3);
            if (alpha)
                out.alpha.push_back(static_cast<std::uint8_t>(x < 3 ? 255 : (x * 11 + y * 3) & 255));
        }
    }
    return out;
}

/// The picture as a binary portable map: P7 with alpha, P5 when grey, else P6.
inline Bytes PortableMap(const TPixmap& p, bool grey = false)
{
    const std::string size = std::to_string(p.width) + " " + std::to_string(p.height);
    std::string head;
    if (!p.alpha.empty())
        head = "P7\nWIDTH " + std::to_string(p.width) + "\nHEIGHT " + std::to_string(p.height) +
               "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    else
        head = (grey ? "P5\n" : "P6\n") + size + "\n255\n";
    Bytes out(head.begin(), head.end());
    for (std::size_t i = 0; i < p.rgb.size() / 3; ++i) {
        if (grey && p.alpha.empty()) {
            out.push_back(p.rgb[3 * i]);
            continue;
        }
        out.insert(out.end(), p.rgb.begin() + static_cast<std::ptrdiff_t>(3 * i),
                   p.rgb.begin() + static_cast<std::ptrdiff_t>(3 * i + 3));
        if (!p.alpha.empty())
            out.push_back(p.alpha[i]);
    }
    return out;
}

/// A tool's command line with IN and OUT replaced by the quoted paths, run
/// in a subshell so that its own redirections hold.
inline std::string ToolCommand(const std::string& tool, const std::string& in, const std::string& out)
{
    std::string command = "(";
    for (std::size_t i = 0; i < tool.size(); ++i) {
        if (tool.compare(i, 2, "IN") == 0) {
            command += "'" + in + "'";
            ++i;
        } else if (tool.compare(i, 3, "OUT") == 0) {
            command += "'" + out + "'";
            i += 2;
        } else {
            command += tool[i];
        }
    }
    return command + ")";
}

/// Pillow's save of IN as OUT after the method calls in between, such as ".convert('L')".
inline std::string PillowSave(const std::string& calls = "", const std::string& options = "")
{
    return "/usr/bin/python3 -c \"import sys; from PIL import Image; Image.open(sys.argv[1])" + calls +
           ".save(sys.argv[2]" + options + ")\" IN OUT";
}

/// True when the system's Python has Pillow.
inline bool HavePillow()
{
    return RunTool("/usr/bin/python3 -c 'import PIL'");
}

/// Pillow's picture of path; nothing when Pillow is missing or refuses the file.
inline std::optional<TPixmap> PillowPixels(const std::string& path)
{
    int status = -1;
    const auto bytes = RunCommand(std::string("/usr/bin/python3 '") + SCALOPEX_SOURCE_DIR +
                                      "/tests/formats/pcx/pillow_to_pam.py' '" + path + "' 2>/dev/null",
                                  &status);
    return status == 0 ? ReadPnm(bytes) : std::nullopt;
}

}  // namespace scalopex::test
