#pragma once
/// Writing enhanced metafiles: a record builder, and the recording surface
/// (CreateEnhMetaFileA / CloseEnhMetaFile) that the metafile canvas draws on.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/gdi/metafile.h"
#include "platform/gdi/screen.h"

namespace scalopex::gdi {

/// Builds EMF bytes: records are appended after a header that Finish fills
/// in (sizes, record and handle counts, bounds) and closes with the end record.
class TEmfBuilder {
public:
    TEmfBuilder(const TScreenMetrics& device, const TRectL& frame);

    /// Starts a record of type; fields follow through the Put functions and
    /// End pads it to 4 bytes and writes its size.
    void Begin(std::uint32_t type);
    void PutU32(std::uint32_t v);
    void PutI32(std::int32_t v) { PutU32(static_cast<std::uint32_t>(v)); }
    void PutU16(std::uint16_t v);
    void PutF32(float v);
    void PutBytes(std::span<const std::uint8_t> bytes);
    /// Makes room for more bytes at once.
    void Reserve(std::size_t more);
    void End();
    /// Drops a record begun but not ended (its fields could not be read).
    void Abandon();
    /// Offset of the next byte from the start of the open record.
    std::uint32_t RecordOffset() const;

    /// A record of type with 32-bit fields.
    void Record(std::uint32_t type, std::initializer_list<std::int32_t> fields);
    /// Widens the bounds (device pixels, inclusive) the header reports.
    void AddBounds(const TRectL& bounds);
    /// Reserves object slot index (1-based) for the header's handle count.
    void UseHandle(std::uint32_t index);

    /// The finished bytes.
    std::vector<std::uint8_t> Finish();

private:
    void PutAt(std::size_t offset, std::uint32_t v);

    std::vector<std::uint8_t> m_bytes;
    std::size_t m_recordStart = 0;
    bool m_open = false;
    std::uint32_t m_records = 1;
    std::uint32_t m_handles = 1;
    bool m_hasBounds = false;
    TRectL m_bounds;
};

/// A recording surface: the raster copies a canvas records.
class TEmfRecorder {
public:
    TEmfRecorder(const TScreenMetrics& device, const TRectL& frame) : m_builder(device, frame) {}

    /// Records a copy of a raster of width × height pixels stretched to
    /// destWidth × destHeight at (x, y) (device pixels). rows are width × 3
    /// bytes of blue, green, red, top row first; when transparentColor is set
    /// (0x00BBGGRR), pixels of that colour are left out on playback.
    void DrawRaster(int x, int y, int destWidth, int destHeight, int width, int height,
                    std::span<const std::uint8_t* const> rows, const std::uint32_t* transparentColor);

private:
    friend HENHMETAFILE CloseEnhMetaFile(std::unique_ptr<TEmfRecorder> recorder);
    TEmfBuilder m_builder;
};

/// Starts a recording in memory on the reference device with the frame in
/// 0.01 mm and no description.
std::unique_ptr<TEmfRecorder> CreateEnhMetaFileA(const TScreenMetrics& device, const TRectL& frame);
/// Ends the recording: the finished picture.
HENHMETAFILE CloseEnhMetaFile(std::unique_ptr<TEmfRecorder> recorder);

}  // namespace scalopex::gdi
