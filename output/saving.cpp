#include "output/saving.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string_view>

#include "base/exceptions.h"
#include "base/paths.h"
#include "core/stream.h"
#include "formats/registry.h"
#include "output/publishing.h"

namespace scalopex::output {

namespace {

constexpr std::string_view kInvalidNameChars = "<>|\"\\/:*?";
constexpr const char* kSaveableFormats =
    "JPEG Image (*.jpg)|*.jpg;*.jpeg|Portable Networks Graphic (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|"
    "JPEG 2000 (*.jp2)|*.jp2;*.jpc;*.j2k|Targa Image (*.tga)|*.tga|GIF Image (*.gif)|*.gif|Enhanced Metafile (*.emf)|*.emf";
constexpr const char* kJpeg2000Aliases = ".jpc.j2k";
constexpr const char* kCR = "\r";
constexpr const char* kSInvalidFileName = "This is an invalid file name";
constexpr const char* kSCannotSave = "This graphic format can not be saved!";
constexpr const char* kSDefaultFormat = "Will be saved in default format";
// Far beyond any real folder; only ends a search that cannot succeed.
constexpr int kMaxUniqueAttempts = 1000000;

// path with "[n]" before its extension; n = 0 gives path itself.
std::string Candidate(const std::string& path, int n)
{
    if (n == 0)
        return path;
    std::string inserted(1, '[');
    inserted += std::to_string(n);
    inserted += ']';
    inserted += base::ExtractFileExt(path);
    return base::ChangeFileExt(path, inserted);
}

bool Contains(const std::string& text, const std::string& part)
{
    return base::LowerCase(text).find(base::LowerCase(part)) != std::string::npos;
}

}  // namespace

TSavingOptions& SavingOptions()
{
    static TSavingOptions options;
    return options;
}

bool IsValidFileName(const std::string& name)
{
    return !name.empty() && name.find_first_of(kInvalidNameChars) == std::string::npos;
}

std::string MakeUniqueName(const std::string& path)
{
    for (int n = 0; n < kMaxUniqueAttempts; ++n) {
        const std::string candidate = Candidate(path, n);
        if (!base::FileExists(candidate))
            return candidate;
    }
    throw base::Exception(path + kCR + "No free file name");
}

TSavePlan PlanSave(const std::string& requested, const TSavingOptions& options, platform::IDesktopServices* desktop)
{
    TSavePlan plan;
    std::string path = requested;
    if (!IsValidFileName(base::ExtractFileName(path)))
        throw base::Exception(path + kCR + kSInvalidFileName);

    std::string ext = base::LowerCase(base::ExtractFileExt(path));
    if (ext.empty() || !Contains(kSaveableFormats, ext)) {
        if (options.warnings && desktop != nullptr)
            desktop->MessageBox(path + kCR + kSCannotSave + kCR + kSDefaultFormat, kApplicationTitle,
                                platform::MessageIcon::None);
        path = base::ChangeFileExt(path, options.defaultExtension);
        ext = options.defaultExtension;
    }
    plan.wanted = path;
    if (!ext.empty() && Contains(kJpeg2000Aliases, ext))
        ext = ".jp2";
    // ".jpe" passes the saveable test like ".jpeg" and is the same format.
    if (ext == ".jpeg" || ext == ".jpe")
        ext = ".jpg";
    plan.writer = formats::FindWriter(ext);
    return plan;
}

void PublishSave(const TSavePlan& plan, const std::function<void(core::TStream&)>& write, const TSavingOptions& options,
                 std::string& finalName)
{
    const std::string path = MakeUniqueName(plan.wanted);
    finalName = path;
    // The file is written whole under a temporary name beside its final
    // one, then published under the first free name without ever replacing
    // a file; a name taken meanwhile moves on to the next "[n]" name.
    TPendingFile pending(base::ExtractFilePath(path), path);
    try {
        write(pending.Stream());
        pending.Close(path);
    } catch (const base::EWriteError&) {
        if (pending.Stream().WriteError() != 0)
            ThrowWriteError(path, pending.Stream().WriteError());
        throw;
    }
    if (options.beforeCreate)
        options.beforeCreate(path);
    for (int n = 0;; ++n) {
        if (n == kMaxUniqueAttempts)
            throw base::Exception(plan.wanted + kCR + "No free file name");
        const std::string target = Candidate(plan.wanted, n);
        if (base::FileExists(target))
            continue;
        finalName = target;
        if (pending.PublishAs(target))
            return;
    }
}

void SaveImageFile(const std::string& requested, const core::TBitmap& bitmap, std::string& finalName,
                   platform::IDesktopServices& desktop, const TSavingOptions& options)
{
    finalName.clear();
    const TSavePlan plan = PlanSave(requested, options, &desktop);
    if (plan.writer == nullptr) {
        desktop.MessageBox(kSGraphicTypeCannotBeSaved, kApplicationTitle, platform::MessageIcon::None);
        return;
    }
    // An empty image makes no file: every format would write an empty or
    // unreadable one.
    if (bitmap.Empty())
        return;
    PublishSave(plan, [&](core::TStream& stream) { plan.writer->write(bitmap, stream); }, options, finalName);
}

void SaveImageFile(const std::string& requested, const core::TBitmap& bitmap, std::string& finalName,
                   platform::IDesktopServices& desktop)
{
    SaveImageFile(requested, bitmap, finalName, desktop, SavingOptions());
}

}  // namespace scalopex::output
