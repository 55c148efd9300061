#pragma once
// Small EMF and WMF files spelled out record by record for the metafile
// tests, and a 24-bit playback target to look at the pixels.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/gdi/metafile.h"
#include "platform/gdi/player.h"
#include "tests/support/byte_builder.h"
#include "tests/support/tools.h"

namespace scalopex::test {

// An EMF on a reference device where one pixel is one millimetre (1000 x
// 1000 pixels, 1000 x 1000 mm), so a frame of n pixels is n x 100 units.
class EmfFile {
public:
    explicit EmfFile(int frameWidthPx, int frameHeightPx, std::int32_t deviceMm = 1000)
    {
        m_b.u32le(1).u32le(108);
        m_b.u32le(0).u32le(0).u32le(frameWidthPx - 1).u32le(frameHeightPx - 1);  // bounds
        m_b.u32le(0)
            .u32le(0)
            .u32le(static_cast<std::uint32_t>(frameWidthPx * 100))
            .u32le(static_cast<std::uint32_t>(frameHeightPx * 100));
        m_b.u32le(0x464D4520).u32le(0x10000);
        m_b.u32le(0).u32le(0);   // bytes, records: patched by Bytes()
        m_b.u16le(16).u16le(0);  // handles
        m_b.u32le(0).u32le(0).u32le(0);
        m_b.u32le(1000).u32le(1000);                                                                  // device pixels
        m_b.u32le(static_cast<std::uint32_t>(deviceMm)).u32le(static_cast<std::uint32_t>(deviceMm));  // millimetres
        m_b.u32le(0).u32le(0).u32le(0);
        m_b.u32le(static_cast<std::uint32_t>(deviceMm) * 1000).u32le(static_cast<std::uint32_t>(deviceMm) * 1000);
    }
    // A record of 32-bit fields.
    EmfFile& Rec(std::uint32_t type, std::initializer_list<std::int32_t> fields)
    {
        m_b.u32le(type).u32le(static_cast<std::uint32_t>(8 + 4 * fields.size()));
        for (auto f : fields)
            m_b.u32le(static_cast<std::uint32_t>(f));
        ++m_records;
        return *this;
    }
    // A record with raw bytes after type and size (padded to 4).
    EmfFile& Raw(std::uint32_t type, const std::vector<std::uint8_t>& body)
    {
        const std::size_t padded = (body.size() + 3) / 4 * 4;
        m_b.u32le(type).u32le(static_cast<std::uint32_t>(8 + padded)).bytes(body).fill(padded - body.size(), 0);
        ++m_records;
        return *this;
    }
    std::vector<std::uint8_t> Bytes() const
    {
        ByteBuilder out = m_b;
        out.u32le(14).u32le(20).u32le(0).u32le(16).u32le(20);
        out.patch32le(48, static_cast<std::uint32_t>(out.size()));
        out.patch32le(52, m_records + 2);
        return out.take();
    }

private:
    ByteBuilder m_b;
    std::uint32_t m_records = 0;
};

// A 24-bit raster filled with one colour (0xRRGGBB), for playback.
struct Canvas24 {
    int width, height;
    std::vector<std::uint8_t> pixels;
    Canvas24(int w, int h, std::uint32_t rgb = 0xFFFFFF)
        : width(w), height(h), pixels(static_cast<std::size_t>(w * h * 3))
    {
        for (std::size_t i = 0; i < pixels.size(); i += 3) {
            pixels[i] = static_cast<std::uint8_t>(rgb);
            pixels[i + 1] = static_cast<std::uint8_t>(rgb >> 8);
            pixels[i + 2] = static_cast<std::uint8_t>(rgb >> 16);
        }
    }
    std::uint32_t At(int x, int y) const
    {
        const std::size_t i = static_cast<std::size_t>((y * width + x) * 3);
        return std::uint32_t{pixels[i]} | (std::uint32_t{pixels[i + 1]} << 8) | (std::uint32_t{pixels[i + 2]} << 16);
    }
    // As red, green, blue samples.
    TPixmap ToPixmap() const
    {
        TPixmap p;
        p.width = width;
        p.height = height;
        p.rgb.resize(pixels.size());
        for (std::size_t i = 0; i < pixels.size(); i += 3) {
            p.rgb[i] = pixels[i + 2];
            p.rgb[i + 1] = pixels[i + 1];
            p.rgb[i + 2] = pixels[i];
        }
        return p;
    }
    gdi::TPlayTarget Target() { return {pixels.data(), width, height, static_cast<std::ptrdiff_t>(width * 3)}; }
};

// Plays the bytes (which must make a picture) into a fresh white raster.
inline Canvas24 Play(const std::vector<std::uint8_t>& emf, int w, int h, std::uint32_t background = 0xFFFFFF)
{
    Canvas24 canvas(w, h, background);
    auto picture = gdi::SetEnhMetaFileBits(emf);
    if (picture) {
        auto target = canvas.Target();
        gdi::PlayEnhMetaFile(target, *picture, {0, 0, w, h});
    }
    return canvas;
}

// A packed DIB: BITMAPINFOHEADER, colour table, pixel rows as given.
inline std::vector<std::uint8_t> Dib(int width, int height, int bpp, std::uint32_t compression,
                                     const std::vector<std::uint32_t>& colors, const std::vector<std::uint8_t>& bits)
{
    ByteBuilder b;
    b.u32le(40)
        .u32le(static_cast<std::uint32_t>(width))
        .u32le(static_cast<std::uint32_t>(height))
        .u16le(1)
        .u16le(static_cast<std::uint32_t>(bpp));
    b.u32le(compression).u32le(static_cast<std::uint32_t>(bits.size())).u32le(0).u32le(0);
    b.u32le(static_cast<std::uint32_t>(colors.size())).u32le(0);
    for (auto c : colors)
        b.u32le(c);  // 0x00RRGGBB is blue, green, red, 0 in memory
    b.bytes(bits);
    return b.take();
}

inline std::uint32_t InfoBytes(int colors)
{
    return 40 + 4 * static_cast<std::uint32_t>(colors);
}

// A STRETCHDIBITS record body (after type and size) for a packed DIB.
inline std::vector<std::uint8_t> StretchDIBitsBody(int x, int y, int cx, int cy, int srcW, int srcH,
                                                   const std::vector<std::uint8_t>& dib, std::uint32_t infoBytes,
                                                   std::uint32_t rop = 0x00CC0020)
{
    ByteBuilder b;
    b.u32le(0).u32le(0).u32le(0).u32le(0);
    b.u32le(static_cast<std::uint32_t>(x)).u32le(static_cast<std::uint32_t>(y)).u32le(0).u32le(0);
    b.u32le(static_cast<std::uint32_t>(srcW)).u32le(static_cast<std::uint32_t>(srcH));
    b.u32le(80).u32le(infoBytes).u32le(80 + infoBytes).u32le(static_cast<std::uint32_t>(dib.size() - infoBytes));
    b.u32le(0).u32le(rop).u32le(static_cast<std::uint32_t>(cx)).u32le(static_cast<std::uint32_t>(cy));
    b.bytes(dib);
    return b.take();
}

// A WMF: optional placeable header, the 18-byte header, records of 16-bit
// parameters, and the end record.
class WmfFile {
public:
    WmfFile& Rec(std::uint16_t function, std::initializer_list<std::int32_t> words)
    {
        m_records.u32le(static_cast<std::uint32_t>(3 + words.size())).u16le(function);
        for (auto w : words)
            m_records.u16le(static_cast<std::uint32_t>(w) & 0xFFFF);
        return *this;
    }
    WmfFile& RawRec(std::uint16_t function, const std::vector<std::uint8_t>& params)
    {
        m_records.u32le(static_cast<std::uint32_t>(3 + params.size() / 2)).u16le(function).bytes(params);
        return *this;
    }
    // The records with their header, without the placeable header.
    std::vector<std::uint8_t> Records(std::uint16_t objects = 8) const
    {
        ByteBuilder b;
        ByteBuilder body = m_records;
        body.u32le(3).u16le(0);
        b.u16le(1)
            .u16le(9)
            .u16le(0x300)
            .u32le(static_cast<std::uint32_t>(9 + body.size() / 2))
            .u16le(objects)
            .u32le(0)
            .u16le(0);
        b.bytes(body.data());
        return b.take();
    }
    // With a placeable header of that box and units per inch; checksumDelta
    // spoils the checksum.
    std::vector<std::uint8_t> Placeable(int left, int top, int right, int bottom, int unitsPerInch,
                                        int checksumDelta = 0) const
    {
        ByteBuilder h;
        h.u32le(0x9AC6CDD7)
            .u16le(0)
            .u16le(static_cast<std::uint32_t>(left) & 0xFFFF)
            .u16le(static_cast<std::uint32_t>(top) & 0xFFFF);
        h.u16le(static_cast<std::uint32_t>(right) & 0xFFFF).u16le(static_cast<std::uint32_t>(bottom) & 0xFFFF);
        h.u16le(static_cast<std::uint32_t>(unitsPerInch)).u32le(0);
        std::uint16_t sum = 0;
        for (std::size_t i = 0; i < 20; i += 2)
            sum ^= static_cast<std::uint16_t>(h.data()[i] | (h.data()[i + 1] << 8));
        h.u16le(static_cast<std::uint16_t>(sum + checksumDelta));
        h.bytes(Records());
        return h.take();
    }

private:
    ByteBuilder m_records;
};

}  // namespace scalopex::test
