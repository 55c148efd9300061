#include "formats/registry.h"

#include <mutex>

#include "core/bitmap.h"
#include "core/file_formats.h"
#include "formats/gif/gif_image.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/png/png_graphic.h"
#include "formats/png/png_object.h"
#include "formats/targa/targa_graphic.h"

// One line per registry row, in registration order; a later row for the same
// extension wins when a file is opened. Rows of formats not yet built are
// left out, so their extensions fail as unknown ones.

namespace scalopex::formats {

using core::TBitmap;

void RegisterFileFormats()
{
    static std::once_flag once;
    std::call_once(once, [] {
        core::TFileFormatsList& list = core::GetFileFormats();
        // Registry creation.
        list.Add("bmp", "Bitmaps", TBitmap::StaticClass());
        // GIF module.
        list.Add("GIF", "GIF Image", TGIFImage::StaticClass());
        // PNG writer module.
        list.Add("PNG", "Portable Network Graphics", TPNGObject::StaticClass());
        // JPEG module.
        list.Add("jpeg", "JPEG Image File", TJPEGImage::StaticClass());
        list.Add("jpg", "JPEG Image File", TJPEGImage::StaticClass());
        // Extra readers block.
        list.Add("bmp", "Windows bitmaps", TBitmap::StaticClass());
        list.Add("jfif", "JFIF images", TJPEGImage::StaticClass());
        list.Add("jpg", "JPG images", TJPEGImage::StaticClass());
        list.Add("jpe", "JPE images", TJPEGImage::StaticClass());
        list.Add("jpeg", "JPEG images", TJPEGImage::StaticClass());
        list.Add("rle", "Run length encoded Windows bitmaps", TBitmap::StaticClass());
        list.Add("dib", "Device independant Windows bitmaps", TBitmap::StaticClass());
        for (const char* ext : {"win", "vst", "vda", "tga", "icb"})
            list.Add(ext, "Truevision images", TTargaGraphic::StaticClass());
        list.Add("png", "Portable network graphic images", TPNGGraphic::StaticClass());
    });
}

}  // namespace scalopex::formats
