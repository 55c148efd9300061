#include "formats/registry.h"

#include "formats/metafile/metafile_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::Creation, "wmf", "Metafiles", &TMetafile::StaticClass},
    {TRegistryBlock::Creation, "emf", "Enhanced Metafiles", &TMetafile::StaticClass},
    {TRegistryBlock::ExtraReaders, "wmf", "Windows metafiles", &TMetafile::StaticClass},
    {TRegistryBlock::ExtraReaders, "emf", "Windows enhanced meta files", &TMetafile::StaticClass},
};

// The raster recorded as one copy at (0, 0) in its own size, with the
// screen as reference device, honouring its transparency.
void WriteEmf(const core::TBitmap& bitmap, core::TStream& stream)
{
    TMetafile metafile;
    metafile.SetWidth(bitmap.Width());
    metafile.SetHeight(bitmap.Height());
    {
        TMetafileCanvas canvas(metafile);
        canvas.Draw(0, 0, &bitmap);
        canvas.Close();
    }
    metafile.SetEnhancedFormat(true);
    metafile.SaveToStream(stream);
}

bool Recognises(std::span<const std::uint8_t> start) noexcept
{
    return IsMetafile(start);
}

constexpr TFormatWriter kWriter{".emf", nullptr, &WriteEmf};

}  // namespace

const TFormatDescriptor& MetafileFormat()
{
    static const TFormatDescriptor descriptor{"Metafile", &TMetafile::StaticClass, kRows, &Recognises, &kWriter};
    return descriptor;
}

}  // namespace scalopex::formats
