// The libtiff side of the TIFF timing: reads every strip of an 8-bit RGB
// file with TIFFReadEncodedStrip and turns each row into BGR, the work the
// batch command's TIFF reader does before it scales. Usage: libtiff_strips FILE
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: libtiff_strips FILE\n");
        return 2;
    }
    const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(argv[1], "r"));
    if (!tiff)
        return 1;
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    uint16_t samples = 0, bits = 0, planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
    if (samples < 3 || bits != 8 || planar != PLANARCONFIG_CONTIG || rowsPerStrip == 0) {
        std::fprintf(stderr, "libtiff_strips reads 8-bit interleaved RGB only\n");
        return 1;
    }

    std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tiff.get())));
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3 * height);
    const size_t stride = static_cast<size_t>(width) * samples;
    uint32_t checksum = 0;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tiff.get()); ++s) {
        const tmsize_t got = TIFFReadEncodedStrip(tiff.get(), s, strip.data(), static_cast<tmsize_t>(strip.size()));
        if (got < 0)
            return 1;
        const uint32_t first = s * rowsPerStrip;
        for (uint32_t r = 0; r < rowsPerStrip && first + r < height; ++r) {
            const uint8_t* in = strip.data() + r * stride;
            uint8_t* out = bgr.data() + static_cast<size_t>(first + r) * width * 3;
            for (uint32_t x = 0; x < width; ++x, in += samples, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        }
        checksum += bgr[static_cast<size_t>(first) * width * 3];
    }
    // Printing a byte of the result keeps the conversion from being optimised away.
    std::printf("%u\n", checksum);
    return 0;
}
