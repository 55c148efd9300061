#include "formats/common/reader_graphic.h"

#include "core/stream.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TReaderGraphic, core::TBitmap)

bool TReaderGraphic::CanLoadFile(const std::string& path) const
{
    core::TFileStream stream(path, core::TFileStream::Mode::OpenRead);
    return CanLoadStream(stream);
}

bool TReaderGraphic::CanLoadStream(core::TStream&) const
{
    return false;
}

bool TReaderGraphic::ReadImageDescription(core::TStream&, int)
{
    ImageDescription = TImageProperties{};
    return false;
}

void TReaderGraphic::Assign(const core::TGraphic* source)
{
    if (const auto* reader = dynamic_cast<const TReaderGraphic*>(source))
        ImageDescription = reader->ImageDescription;
    core::TBitmap::Assign(source);
}

}  // namespace scalopex::formats
