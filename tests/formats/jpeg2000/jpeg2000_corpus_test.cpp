// The public JPEG 2000 corpus. Every file of its manifest behaves as the
// manifest says; files with a picture reference match it. The conformance
// codestreams are held to their per-component references (PGX) within the
// peak and mean-square errors of the manifest, after the reader's 8-bit
// conversion is applied to the reference samples too.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "core/stream.h"
#include "formats/jpeg2000/jp2_header.h"
#include "formats/jpeg2000/jpeg2000_bitmap.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using namespace test::corpus;

const std::string kFolder = "jpeg2000";

std::unique_ptr<TJpeg2000Bitmap> LoadFile(const std::string& path)
{
    auto bitmap = std::make_unique<TJpeg2000Bitmap>();
    core::TMemoryStream stream(test::ReadBytes(path));
    bitmap->LoadFromStream(stream);
    return bitmap;
}

// The raster as decoded, with its alpha when it has real alpha; raw
// components in the fourth byte are not shown, as drawing does not show them.
test::TPixmap DecodeRaster(const std::string& path)
{
    const auto bitmap = LoadFile(path);
    return test::ToPixmap(*bitmap, bitmap->HasAlpha() && bitmap->PixelFormat() == core::pf32bit);
}

// A reference decode with four components unnamed by any channel
// definition: the reader puts component 0 in the fourth byte and the others
// from red on, so the picture shows components 1, 2 and 3.
std::optional<test::TPixmap> ShiftedByOneComponent(const std::string& path)
{
    std::optional<test::TPixmap> rgba = test::ImageMagickPixels(path);
    if (!rgba || rgba->alpha.size() != static_cast<std::size_t>(rgba->width) * rgba->height)
        return std::nullopt;
    for (std::size_t p = 0; p < rgba->alpha.size(); ++p) {
        std::uint8_t* px = &rgba->rgb[3 * p];
        px[0] = px[1];
        px[1] = px[2];
        px[2] = rgba->alpha[p];
    }
    rgba->alpha.clear();
    return rgba;
}

// A reference decode of more than four components: the reader shows the
// first one as grey, the reference shows it as red.
std::optional<test::TPixmap> FirstComponentAsGrey(const std::string& path)
{
    std::optional<test::TPixmap> picture = test::ImageMagickPixels(path);
    if (!picture)
        return std::nullopt;
    for (std::size_t p = 0; p < picture->rgb.size(); p += 3)
        picture->rgb[p + 1] = picture->rgb[p + 2] = picture->rgb[p];
    picture->alpha.clear();
    return picture;
}

// Files whose reference shows a conversion this reader does not make: the
// reader shows the components as they are, so only the decode is checked.
constexpr const char* kUnconvertedFiles[] = {
    "openjpeg-data/conformance/file8.jp2",  // the reference applies the file's ICC profile
    // Raw codestreams have no colour space; the reference takes subsampled ones as sYCC.
    "openjpeg-data/nonregression/issue142.j2k", "openjpeg-data/nonregression/issue726.j2k",
    "openjpeg-data/nonregression/issue205.jp2",                 // CMYK
    "openjpeg-data/nonregression/issue236-ESYCC-CDEF.jp2",      // e-sYCC
    "openjpeg-data/nonregression/issue559-eci-091-CIELab.jp2",  // CIE Lab
};

// Pillow's crash cases and its own header refusals, which the codec
// decodes: only its command-line tool fails, writing their odd components.
constexpr const char* kCodecDecodes[] = {
    "pillow/bad/00r1_graya_la.jp2",
    "pillow/bad/crash-4fb027452e6988530aa5dabee76eecacb3b79f8a.j2k",
    "pillow/bad/crash-7d4c83eb92150fb8f1653a697703ae06ae7c4998.j2k",
    "pillow/bad/crash-ccca68ff40171fdae983d924e127a721cab2bd50.j2k",
    "pillow/bad/crash-d2c93af851d3ab9a19e34503626368b2ecde9c03.j2k",
    "pillow/bad/invalid_header_length.jp2",
};

bool Listed(const std::string& file, std::span<const char* const> list)
{
    return std::find(list.begin(), list.end(), file) != list.end();
}

std::vector<Entry> CorpusEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir);
    for (Entry& e : entries) {
        const std::string& f = e.file;
        if (f.starts_with("openjpeg-data/conformance/p")) {
            e.reference.clear();  // held to their component references below
        } else if (f.starts_with("openjpeg-data/conformance/file")) {
            e.tolerance.colour = 4;  // the JP2 file-format conformance peak error
        } else if (f.starts_with("openjpeg-data/nonregression/")) {
            // The reference decoder rounds where this reader truncates (other
            // precisions than 8), and interpolates subsampled chroma.
            e.tolerance.colour = 2;
        } else if (f == "pillow/test-card-lossless.jp2" || f == "pillow/zero_dpi.jp2") {
            e.tolerance.colour = 1;  // 97 pixels one level apart, as the manifest notes
        } else if (f == "pillow/test-card-lossy-tiled.jp2") {
            e.tolerance = {.colour = 255, .meanBelow = 2.0};
        }
        if (Listed(f, kUnconvertedFiles))
            e.reference.clear();
        if (Listed(f, kCodecDecodes))
            e.expect |= kDecode;
        // Four components without channel definitions: component 0 goes to the fourth byte.
        if (f.ends_with("orb-blue10-win-j2k.j2k") || f.ends_with("orb-blue10-lin-jp2.jp2"))
            e.readReference = ShiftedByOneComponent;
        if (f.ends_with("issue414.jp2"))
            e.readReference = FirstComponentAsGrey;
    }
    return entries;
}

const Row kRows[] = {
    {.name = "manifest",
     .folder = kFolder,
     .entries = CorpusEntries,
     .decode = DecodeRaster,
     .tool = "convert -version",
     .minimumFiles = 150,
     .minimumCompared = 30},
};

class Jpeg2000Corpus : public RowTest {};

TEST_P(Jpeg2000Corpus, FilesBehaveAsTheManifestSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, Jpeg2000Corpus, ::testing::ValuesIn(kRows), RowName);

// ---- Conformance codestreams against their component references ----

struct Pgx {
    int width = 0;
    int height = 0;
    int precision = 0;
    bool isSigned = false;
    std::vector<std::int32_t> samples;
};

// "PG ML +|- depth width height" (spacing varies), then big-endian samples
// of 1, 2 or 4 bytes.
std::optional<Pgx> ReadPgx(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    const auto newline = std::find(bytes.begin(), bytes.end(), '\n');
    if (newline == bytes.end())
        return std::nullopt;
    std::string header(bytes.begin(), newline);
    std::smatch m;
    if (!std::regex_match(header, m, std::regex(R"(PG\s*ML\s*([+-]?)\s*(\d+)\s+(\d+)\s+(\d+)\s*)")))
        return std::nullopt;
    Pgx pgx;
    pgx.isSigned = m[1] == "-";
    pgx.precision = std::stoi(m[2]);
    pgx.width = std::stoi(m[3]);
    pgx.height = std::stoi(m[4]);
    const std::size_t sampleBytes = pgx.precision <= 8 ? 1 : pgx.precision <= 16 ? 2 : 4;
    const std::size_t count = static_cast<std::size_t>(pgx.width) * pgx.height;
    const std::size_t data = static_cast<std::size_t>(newline - bytes.begin()) + 1;
    if (bytes.size() < data + count * sampleBytes)
        return std::nullopt;
    pgx.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t v = 0;
        for (std::size_t b = 0; b < sampleBytes; ++b)
            v = v << 8 | bytes[data + i * sampleBytes + b];
        std::int64_t s = v;
        if (pgx.isSigned && sampleBytes < 4 && (v >> (8 * sampleBytes - 1)) != 0)
            s -= std::int64_t{1} << (8 * sampleBytes);
        pgx.samples[i] = static_cast<std::int32_t>(s);
    }
    return pgx;
}

// The reader's 8-bit rule: the low 8 bits at precision 8, else the sample
// scaled by 255 / maximum, truncating.
int ToByte(std::int64_t sample, int precision, bool isSigned)
{
    const std::int64_t offset = isSigned ? std::int64_t{1} << (precision - 1) : 0;
    if (precision == 8)
        return static_cast<int>((sample + offset) & 0xFF);
    const std::int64_t maximum = (std::int64_t{1} << precision) - 1;
    return static_cast<int>(std::clamp<std::int64_t>(sample + offset, 0, maximum) * 255 / maximum);
}

struct Limit {
    double peak = 0;
    double mse = 0;
};

// The per-component limits of a reference field: "exact", or "peak error
// <= a:b:c, MSE <= x:y:z" (one value for every component when not split).
std::vector<Limit> LimitsOf(const std::string& field, std::size_t components)
{
    std::vector<Limit> limits(components);
    std::smatch m;
    if (!std::regex_search(field, m, std::regex(R"(peak error <= ([\d.:]+), MSE <= ([\d.:]+))")))
        return limits;  // exact
    auto split = [&](const std::string& text) {
        std::vector<double> values;
        std::stringstream in(text);
        for (std::string part; std::getline(in, part, ':');)
            values.push_back(std::stod(part));
        values.resize(components, values.empty() ? 0 : values.back());
        return values;
    };
    const std::vector<double> peaks = split(m[1]);
    const std::vector<double> mses = split(m[2]);
    for (std::size_t c = 0; c < components; ++c)
        limits[c] = {peaks[c], mses[c]};
    return limits;
}

// Compares component c of the decoded raster, at the pixels its samples
// cover, with its reference; the limits are scaled to 8 bits, allowing for
// the truncation of the conversion.
void ExpectComponent(const core::TBitmap& raster, const jp2::TCodestreamHeader& siz, std::size_t c, int byte,
                     const Pgx& ref, Limit limit, const std::string& what)
{
    const jp2::TComponentHeader& comp = siz.components[c];
    const std::uint32_t cx0 = (siz.x0 + comp.dx - 1) / comp.dx;
    const std::uint32_t cy0 = (siz.y0 + comp.dy - 1) / comp.dy;
    ASSERT_EQ(static_cast<std::uint64_t>(ref.width) * ref.height, siz.Samples(c)) << what;
    ASSERT_EQ(ref.precision, comp.precision) << what;
    const int bytesPerPixel = core::BitsPerPixel(raster.PixelFormat()) / 8;
    int peak = 0;
    double squares = 0;
    for (int k = 0; k < ref.height; ++k) {
        const std::int64_t row =
            std::max<std::int64_t>(0, std::int64_t{cy0 + static_cast<std::uint32_t>(k)} * comp.dy - siz.y0);
        const std::uint8_t* line = raster.ScanLineRead(static_cast<int>(row));
        for (int j = 0; j < ref.width; ++j) {
            const std::int64_t col =
                std::max<std::int64_t>(0, std::int64_t{cx0 + static_cast<std::uint32_t>(j)} * comp.dx - siz.x0);
            const int want =
                ToByte(ref.samples[static_cast<std::size_t>(k) * ref.width + j], ref.precision, ref.isSigned);
            const int d = std::abs(line[col * bytesPerPixel + byte] - want);
            peak = std::max(peak, d);
            squares += double{1} * d * d;
        }
    }
    const double mse = squares / (static_cast<double>(ref.width) * ref.height);
    double peakAllowed = limit.peak;
    double mseAllowed = limit.mse;
    if (comp.precision != 8 && (limit.peak > 0 || limit.mse > 0)) {
        const double scale = 255.0 / static_cast<double>((std::int64_t{1} << comp.precision) - 1);
        peakAllowed = std::floor(limit.peak * scale) + 1;
        mseAllowed = limit.mse * scale * scale + 2 * std::sqrt(limit.mse) * scale + 1;
    }
    EXPECT_LE(peak, peakAllowed) << what;
    EXPECT_LE(mse, mseAllowed) << what;
}

TEST(Jpeg2000Conformance, CodestreamsDecodeToTheirComponentReferences)
{
    SCALOPEX_REQUIRE_CORPUS(kFolder);
    const std::string dir = test::CorpusDir() + kFolder + "/";
    std::vector<std::string> errors;
    int files = 0;
    int components = 0;
    for (const ManifestLine& line : ReadManifest(dir + "MANIFEST.tsv", errors)) {
        if (!line.file.starts_with("openjpeg-data/conformance/p") || !line.file.ends_with(".j2k"))
            continue;
        SCOPED_TRACE(line.file);
        ++files;
        const std::string path = dir + line.file;
        const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
        const jp2::TFileHeader header = jp2::ParseHeader(bytes, jp2::KindOf(bytes));
        std::unique_ptr<TJpeg2000Bitmap> raster;
        ASSERT_NO_THROW(raster = LoadFile(path));
        const int bytesPerPixel = core::BitsPerPixel(raster->PixelFormat()) / 8;
        const std::size_t used = bytesPerPixel == 1 ? 1 : header.codestream.components.size();
        ASSERT_EQ(raster->Width(), static_cast<int>(header.codestream.Width()));
        ASSERT_EQ(raster->Height(), static_cast<int>(header.codestream.Height()));
        const std::vector<Limit> limits = LimitsOf(line.reference, used);
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        const std::string stem =
            line.file.substr(line.file.rfind('/') + 1, line.file.size() - line.file.rfind('/') - 5);
        for (std::size_t c = 0; c < used; ++c) {
            const std::string refName = "c1" + stem + "_" + std::to_string(c) + ".pgx";
            const std::optional<Pgx> ref = ReadPgx(folder + refName);
            ASSERT_TRUE(ref) << refName;
            // Raw codestreams name no roles: components fill the pixel from its last byte.
            const int byte = bytesPerPixel == 1 ? 0 : bytesPerPixel - 1 - static_cast<int>(c);
            ExpectComponent(*raster, header.codestream, c, byte, *ref, limits[c], refName);
            ++components;
        }
    }
    EXPECT_TRUE(errors.empty());
    EXPECT_GE(files, 20);
    RecordProperty("files", files);
    RecordProperty("components", components);
    std::printf("conformance: %d codestreams, %d components compared\n", files, components);
}

}  // namespace
}  // namespace scalopex::formats
