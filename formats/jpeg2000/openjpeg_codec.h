#pragma once
// Codec plumbing behind TJpeg2000Bitmap (private to this module): owners of
// the codec's codec, stream and image objects that release them on every
// path, streams over memory, quiet message handlers, and the decoding and
// encoding calls.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include <openjpeg.h>

namespace scalopex::formats::openjpeg {

struct TCodecRelease {
    void operator()(opj_codec_t* codec) const noexcept { opj_destroy_codec(codec); }
};
struct TStreamRelease {
    void operator()(opj_stream_t* stream) const noexcept { opj_stream_destroy(stream); }
};
struct TImageRelease {
    void operator()(opj_image_t* image) const noexcept { opj_image_destroy(image); }
};
using TCodec = std::unique_ptr<opj_codec_t, TCodecRelease>;
using TStream = std::unique_ptr<opj_stream_t, TStreamRelease>;
using TImage = std::unique_ptr<opj_image_t, TImageRelease>;

/// Codec threads: as many as the machine has cores.
int CodecThreads();

/// Decodes data (a JP2 file when jp2, else a raw codestream) with the
/// default parameters: full resolution, all quality layers. Null when the
/// codec gives no image. consumed is set to the bytes the codec read.
TImage Decode(std::span<const std::uint8_t> data, bool jp2, std::size_t& consumed);

/// Encodes image as a raw codestream with parameters, appending it to out.
/// False when the codec fails.
bool EncodeCodestream(opj_image_t& image, opj_cparameters_t& parameters, std::vector<std::uint8_t>& out);

}  // namespace scalopex::formats::openjpeg
