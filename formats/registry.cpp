#include "formats/registry.h"

#include <initializer_list>
#include <mutex>
#include <string_view>

#include "base/exceptions.h"
#include "core/file_formats.h"

// The registration order of the start-up: the registry's creation, the
// modules that register themselves, the block of extra readers, one line
// per run of rows. A later row for the same extension wins when a file is
// opened. Formats not yet built are left out, so their extensions fail as
// unknown ones.

namespace scalopex::formats {

namespace {

// The rows of format's block, in the order the format lists them.
void Register(core::TFileFormatsList& list, const TFormatDescriptor& format, TRegistryBlock block)
{
    for (const TRegistryRow& row : format.rows)
        if (row.block == block)
            list.Add(row.extension, row.description, row.graphicClass());
}

// The extra readers rows of format for these extensions, in this order.
void RegisterReaders(core::TFileFormatsList& list, const TFormatDescriptor& format,
                     std::initializer_list<std::string_view> extensions)
{
    for (const std::string_view extension : extensions) {
        bool found = false;
        for (const TRegistryRow& row : format.rows)
            if (row.block == TRegistryBlock::ExtraReaders && row.extension == extension) {
                list.Add(row.extension, row.description, row.graphicClass());
                found = true;
            }
        if (!found)
            throw base::EInternalError("No reader row for ." + std::string(extension) + " in " + format.name);
    }
}

}  // namespace

std::span<const TFormatDescriptor* const> Formats()
{
    static const TFormatDescriptor* const formats[] = {
        &BmpFormat(), &GifFormat(),      &JpegFormat(), &PngFormat(), &TargaFormat(),    &PcxFormat(),     &SgiFormat(),
        &PsdFormat(), &PpmFormat(),      &IcoFormat(),  &RlaFormat(), &AutodeskFormat(), &PhotoCDFormat(), &CutFormat(),
        &PspFormat(), &Jpeg2000Format(), &TiffFormat(), &EpsFormat(), &MetafileFormat()};
    return formats;
}

const TFormatWriter* FindWriter(const std::string& ext)
{
    for (const TFormatDescriptor* format : Formats())
        if (format->writer != nullptr && ext == format->writer->extension)
            return format->writer;
    return nullptr;
}

void RegisterFileFormats()
{
    static std::once_flag once;
    std::call_once(once, [] {
        core::TFileFormatsList& list = core::GetFileFormats();
        // Registry creation.
        Register(list, MetafileFormat(), TRegistryBlock::Creation);
        Register(list, IcoFormat(), TRegistryBlock::Creation);
        Register(list, BmpFormat(), TRegistryBlock::Creation);
        // The GIF, PNG writer and JPEG modules.
        Register(list, GifFormat(), TRegistryBlock::Module);
        Register(list, PngFormat(), TRegistryBlock::Module);
        Register(list, JpegFormat(), TRegistryBlock::Module);
        // The extra readers block.
        RegisterReaders(list, BmpFormat(), {"bmp"});
        RegisterReaders(list, IcoFormat(), {"ico"});
        RegisterReaders(list, MetafileFormat(), {"wmf", "emf"});
        RegisterReaders(list, JpegFormat(), {"jfif", "jpg", "jpe", "jpeg"});
        RegisterReaders(list, BmpFormat(), {"rle", "dib"});
        RegisterReaders(list, TargaFormat(), {"win", "vst", "vda", "tga", "icb"});
        RegisterReaders(list, TiffFormat(), {"tiff", "tif", "fax"});
        RegisterReaders(list, EpsFormat(), {"eps"});
        RegisterReaders(list, PcxFormat(), {"pcx", "pcc", "scr"});
        RegisterReaders(list, RlaFormat(), {"rpf", "rla"});
        RegisterReaders(list, SgiFormat(), {"sgi", "rgba", "rgb", "bw"});
        RegisterReaders(list, PsdFormat(), {"psd", "pdd"});
        RegisterReaders(list, PpmFormat(), {"ppm", "pgm", "pbm"});
        RegisterReaders(list, AutodeskFormat(), {"cel", "pic"});
        RegisterReaders(list, PhotoCDFormat(), {"pcd"});
        RegisterReaders(list, CutFormat(), {"cut"});
        RegisterReaders(list, PspFormat(), {"psp"});
        RegisterReaders(list, PngFormat(), {"png"});
        // The JPEG 2000 module, last.
        Register(list, Jpeg2000Format(), TRegistryBlock::Module);
    });
}

}  // namespace scalopex::formats
