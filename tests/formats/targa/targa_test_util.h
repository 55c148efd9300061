#pragma once
// Helpers of the Targa tests: header bytes, and loading from and saving to memory.

#include <cstdint>
#include <string>
#include <vector>

#include "core/stream.h"
#include "formats/targa/targa_graphic.h"
#include "tests/support/byte_builder.h"

namespace scalopex::test::targa {

struct HeaderSpec {
    std::uint8_t imageType = 2;
    std::uint8_t depth = 24;
    std::uint16_t width = 1;
    std::uint16_t height = 1;
    std::uint8_t descriptor = 0x20;
    std::uint8_t mapType = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapBits = 0;
    std::uint8_t idLength = 0;
};

inline ByteBuilder Header(const HeaderSpec& h)
{
    ByteBuilder b;
    b.u8(h.idLength).u8(h.mapType).u8(h.imageType);
    b.u16le(0).u16le(h.mapLength).u8(h.mapBits);
    b.u16le(0).u16le(0).u16le(h.width).u16le(h.height);
    b.u8(h.depth).u8(h.descriptor);
    return b;
}

inline void Load(formats::TTargaGraphic& graphic, std::vector<std::uint8_t> bytes)
{
    core::TMemoryStream stream(std::move(bytes));
    graphic.LoadFromStream(stream);
}

inline std::vector<std::uint8_t> Save(formats::TTargaGraphic& graphic, bool compressed)
{
    core::TMemoryStream stream;
    graphic.SaveToStream(stream, compressed);
    return stream.Bytes();
}

}  // namespace scalopex::test::targa
