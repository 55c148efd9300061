#pragma once
/// TLZ77Decoder: deflate data in zlib streams, over zlib. Used two ways:
/// Decode inflates one whole stream per call (a TIFF strip, a Paint Shop
/// Pro channel), starting afresh each time; Inflate feeds one stream in
/// pieces, as PNG image data arrives in chunks.

#include <cstdint>
#include <span>

#include <zlib.h>

#include "base/decoder.h"

namespace scalopex::formats {

/// "LZ77 decompression error.": the inflater cannot be started or ended.
inline constexpr const char* kSLZ77Error = "LZ77 decompression error.";

class TLZ77Decoder final : public base::TDecoder {
public:
    TLZ77Decoder() = default;
    ~TLZ77Decoder() override;
    TLZ77Decoder(const TLZ77Decoder&) = delete;
    TLZ77Decoder& operator=(const TLZ77Decoder&) = delete;

    /// Starts the inflater; failure raises EGraphicCompression (kSLZ77Error).
    void StartDecoding() override;
    /// Inflates the stream held by source into dest, from its start, with
    /// partial flushing, and keeps zlib's result code. A corrupt stream leaves
    /// the rest of dest as it was. Returns the bytes written.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;
    /// Ends the inflater; failure raises EGraphicCompression (kSLZ77Error).
    void FinishDecoding() override;

    enum class TInflate {
        Progress,   // input taken or output made; call again as needed
        StreamEnd,  // the stream is complete
        Stalled,    // no input was given, or no progress could be made
        Error,      // the data are corrupt
    };
    /// One step of a stream fed in pieces: inflates from input into output
    /// and moves both past what was used. StartDecoding comes first.
    TInflate Inflate(std::span<const std::uint8_t>& input, std::span<std::uint8_t>& output);

    /// zlib's result code of the last Decode or Inflate.
    int LastResult() const { return m_result; }

private:
    // One inflate call; moves both spans past what it used and answers
    // whether it used anything.
    bool Step(std::span<const std::uint8_t>& input, std::span<std::uint8_t>& output, int flush);

    z_stream m_stream{};
    bool m_live = false;
    int m_result = Z_OK;
};

}  // namespace scalopex::formats
