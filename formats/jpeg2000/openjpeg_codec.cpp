// The codec is handed memory only: input through a stream object whose
// read, skip and seek callbacks work on the bytes of the file, output
// through one that appends to a byte vector. The callbacks never throw into
// the codec; they report failure the way the codec's stream interface
// expects. The codec's messages go to handlers that drop them.

#include "formats/jpeg2000/openjpeg_codec.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

namespace scalopex::formats::openjpeg {

namespace {

constexpr OPJ_SIZE_T kStreamFailed = static_cast<OPJ_SIZE_T>(-1);

void DropMessage(const char*, void*) {}

void Quiet(opj_codec_t* codec)
{
    opj_set_info_handler(codec, &DropMessage, nullptr);
    opj_set_warning_handler(codec, &DropMessage, nullptr);
    opj_set_error_handler(codec, &DropMessage, nullptr);
}

struct TMemoryInput {
    std::span<const std::uint8_t> data;
    std::size_t position = 0;
    std::size_t consumed = 0;  // the furthest byte handed over
};

OPJ_SIZE_T ReadInput(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto& input = *static_cast<TMemoryInput*>(user);
    if (input.position >= input.data.size())
        return kStreamFailed;  // the codec's end of stream
    const std::size_t n = std::min<std::size_t>(count, input.data.size() - input.position);
    std::memcpy(buffer, input.data.data() + input.position, n);
    input.position += n;
    input.consumed = std::max(input.consumed, input.position);
    return n;
}

OPJ_OFF_T SkipInput(OPJ_OFF_T count, void* user)
{
    auto& input = *static_cast<TMemoryInput*>(user);
    const auto size = static_cast<OPJ_OFF_T>(input.data.size());
    const auto position = static_cast<OPJ_OFF_T>(input.position);
    if (count < -position)
        return -1;
    if (count > size - position) {
        input.position = input.data.size();
        return -1;
    }
    input.position = static_cast<std::size_t>(position + count);
    return count;
}

OPJ_BOOL SeekInput(OPJ_OFF_T position, void* user)
{
    auto& input = *static_cast<TMemoryInput*>(user);
    if (position < 0 || static_cast<std::uint64_t>(position) > input.data.size())
        return OPJ_FALSE;
    input.position = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

struct TMemoryOutput {
    std::vector<std::uint8_t>* bytes = nullptr;
    std::size_t start = 0;     // where the codestream begins in bytes
    std::size_t position = 0;  // relative to start
};

OPJ_SIZE_T WriteOutput(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto& output = *static_cast<TMemoryOutput*>(user);
    try {
        const std::size_t end = output.start + output.position + count;
        if (end > output.bytes->size())
            output.bytes->resize(end);
        std::memcpy(output.bytes->data() + output.start + output.position, buffer, count);
    } catch (const std::bad_alloc&) {
        return kStreamFailed;
    } catch (const std::length_error&) {
        return kStreamFailed;
    }
    output.position += count;
    return count;
}

OPJ_BOOL SeekOutput(OPJ_OFF_T position, void* user)
{
    auto& output = *static_cast<TMemoryOutput*>(user);
    if (position < 0 || output.start + static_cast<std::uint64_t>(position) > output.bytes->size())
        return OPJ_FALSE;
    output.position = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

OPJ_OFF_T SkipOutput(OPJ_OFF_T count, void* user)
{
    auto& output = *static_cast<TMemoryOutput*>(user);
    return SeekOutput(static_cast<OPJ_OFF_T>(output.position) + count, user) ? count : -1;
}

}  // namespace

int CodecThreads()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

TImage Decode(std::span<const std::uint8_t> data, bool jp2, std::size_t& consumed)
{
    consumed = 0;
    TMemoryInput input{data};
    TCodec codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    TStream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
    if (!codec || !stream)
        return {};
    Quiet(codec.get());
    opj_stream_set_user_data(stream.get(), &input, nullptr);
    opj_stream_set_user_data_length(stream.get(), data.size());
    opj_stream_set_read_function(stream.get(), &ReadInput);
    opj_stream_set_skip_function(stream.get(), &SkipInput);
    opj_stream_set_seek_function(stream.get(), &SeekInput);

    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters))
        return {};
    opj_codec_set_threads(codec.get(), CodecThreads());  // without thread support the codec decodes on this one

    opj_image_t* header = nullptr;
    const bool read = opj_read_header(stream.get(), codec.get(), &header);
    TImage image(header);
    if (!read || !image || !opj_decode(codec.get(), stream.get(), image.get()))
        return {};
    // The image is whole once decoded; data that end without their end
    // marker are no failure.
    opj_end_decompress(codec.get(), stream.get());
    consumed = input.consumed;
    return image;
}

bool EncodeCodestream(opj_image_t& image, opj_cparameters_t& parameters, std::vector<std::uint8_t>& out)
{
    TMemoryOutput output{&out, out.size(), 0};
    TCodec codec(opj_create_compress(OPJ_CODEC_J2K));
    TStream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
    if (!codec || !stream)
        return false;
    Quiet(codec.get());
    opj_stream_set_user_data(stream.get(), &output, nullptr);
    opj_stream_set_write_function(stream.get(), &WriteOutput);
    opj_stream_set_skip_function(stream.get(), &SkipOutput);
    opj_stream_set_seek_function(stream.get(), &SeekOutput);
    if (!opj_setup_encoder(codec.get(), &parameters, &image))
        return false;
    opj_codec_set_threads(codec.get(), CodecThreads());
    return opj_start_compress(codec.get(), &image, stream.get()) && opj_encode(codec.get(), stream.get()) &&
           opj_end_compress(codec.get(), stream.get());
}

}  // namespace scalopex::formats::openjpeg
