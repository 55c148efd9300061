#pragma once
/// TTargaRLEDecoder: the run-length packets of Targa image types 9, 10 and
/// 11. A packet header h gives n = (h and 0x7F) + 1 pixels: with bit 7 set
/// one pixel value follows for all n, otherwise n pixel values follow.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/decoder.h"

namespace scalopex::formats {

class TTargaRLEDecoder final : public base::TDecoder {
public:
    /// colorDepth: bits per pixel, 8, 15, 16, 24 or 32; any other depth
    /// decodes and encodes nothing.
    explicit TTargaRLEDecoder(int colorDepth);

    int ColorDepth() const { return m_colorDepth; }
    /// Bytes of one pixel value, 0 for an unsupported depth.
    std::size_t PixelSize() const { return m_pixelSize; }

    /// Forgets a packet left over from the previous row.
    void StartDecoding() override;
    /// Decodes packets from source into the whole pixels of dest until dest
    /// is full or the source runs out, and leaves source after the last
    /// byte used (a run packet cut short is left unread). A packet longer
    /// than the rest of the row continues in the next call, so runs that
    /// cross rows decode as one stream. Returns the bytes written; bytes
    /// after them keep their values.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;

    /// Writes the packets of pixelCount pixels of source to dest and returns
    /// the bytes written. A new packet starts with every call; dest must
    /// hold EncodeBound(pixelCount) bytes.
    std::size_t Encode(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest, std::size_t pixelCount) const;
    /// The largest encoding of pixelCount pixels: twice their raw size.
    std::size_t EncodeBound(std::size_t pixelCount) const { return 2 * pixelCount * m_pixelSize; }

private:
    int m_colorDepth;
    std::size_t m_pixelSize;
    // A packet that ran past the end of the previous row.
    std::size_t m_pendingRun = 0;  // pixels still to repeat m_runValue
    std::size_t m_pendingRaw = 0;  // pixel values still to copy from the source
    std::uint8_t m_runValue[4] = {0, 0, 0, 0};
};

}  // namespace scalopex::formats
