#include "fuzz/support/fuzz_support.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <typeinfo>
#include <vector>

#include "core/opening.h"
#include "core/stream.h"
#include "formats/common/reader_graphic.h"
#include "formats/registry.h"

namespace scalopex::fuzz {

base::TLimits FuzzLimits()
{
    base::TLimits limits;
    limits.maxPixels = std::uint64_t{1} << 22;      // 4 M pixels
    limits.maxPixelBytes = std::uint64_t{1} << 26;  // 64 MiB of pixels
    limits.maxDimension = 16384;
    limits.maxInputBytes = std::uint64_t{1} << 26;  // 64 MiB of input
    limits.maxScans = 16;                           // a progressive JPEG has about 10
    limits.maxCodecBytes = std::uint64_t{1} << 28;  // 256 MiB of codec working memory
    return limits;
}

void SetUpFuzzing()
{
    static std::once_flag once;
    std::call_once(once, [] { base::SetLimits(FuzzLimits()); });
}

void Refused(const base::Exception& e)
{
    static const bool verbose = std::getenv("SCALOPEX_FUZZ_VERBOSE") != nullptr;
    if (verbose)
        std::fprintf(stderr, "scalopex fuzz: refused: %s\n", e.what());
}

void Finding(const std::string& what)
{
    std::fprintf(stderr, "scalopex fuzz: FINDING: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

void UnexpectedException()
{
    std::string what = "unknown";
    std::string type = "an exception of no standard type";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
        int status = 0;
        char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
        type = status == 0 && name != nullptr ? name : typeid(e).name();
        std::free(name);  // allocated by the demangler with malloc
    } catch (...) {
    }
    Finding("unexpected exception " + type + ": " + what);
}

std::uint8_t TFieldReader::U8()
{
    return m_pos < m_bytes.size() ? m_bytes[m_pos++] : 0;
}

std::uint16_t TFieldReader::U16()
{
    const std::uint8_t low = U8();
    return static_cast<std::uint16_t>(low | (U8() << 8));
}

Bytes TFieldReader::Take(std::size_t n)
{
    const Bytes out = m_bytes.subspan(m_pos, std::min(n, m_bytes.size() - m_pos));
    m_pos += out.size();
    return out;
}

void ExpectCanary(Bytes bytes, const char* what)
{
    const auto changed = std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != kCanary; });
    if (changed != bytes.end())
        Finding(std::string(what) + ": byte " + std::to_string(changed - bytes.begin()) + " was written");
}

const formats::TFormatDescriptor& FormatNamed(const char* name)
{
    for (const formats::TFormatDescriptor* format : formats::Formats())
        if (std::string(format->name) == name)
            return *format;
    Finding(std::string("no format named ") + name);
}

bool Recognises(const formats::TFormatDescriptor& format, Bytes bytes)
{
    return format.recognises(bytes.first(std::min(bytes.size(), formats::kContentCheckBytes)));
}

std::unique_ptr<core::TGraphic> NewReader(const formats::TFormatDescriptor& format)
{
    const core::TGraphicClass& cls = format.readerClass();
    if (cls.create == nullptr)
        Finding(std::string("the reader class of ") + format.name + " cannot be made");
    return cls.create();
}

void LoadFrom(core::TGraphic& graphic, Bytes bytes)
{
    core::TMemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    graphic.LoadFromStream(stream);
    if (stream.Position() > bytes.size())
        Finding("the load left the stream past its end");
}

std::unique_ptr<core::TBitmap> DrawAsOpened(const core::TGraphic& graphic)
{
    std::unique_ptr<core::TBitmap> bitmap = core::GraphicToBitmap(&graphic);
    if (bitmap->Width() != graphic.Width() || bitmap->Height() != graphic.Height())
        Finding("the drawn bitmap is " + std::to_string(bitmap->Width()) + " x " + std::to_string(bitmap->Height()) +
                ", the graphic " + std::to_string(graphic.Width()) + " x " + std::to_string(graphic.Height()));
    if (!bitmap->Empty() && bitmap->PixelFormat() != core::pf24bit)
        Finding("the drawn bitmap is not 24-bit");
    return bitmap;
}

void FuzzReaderGraphic(const formats::TFormatDescriptor& format, Bytes bytes, TContentCheck check)
{
    const bool recognised = Recognises(format, bytes);
    std::unique_ptr<core::TGraphic> graphic = NewReader(format);
    auto* reader = dynamic_cast<formats::TReaderGraphic*>(graphic.get());
    if (reader == nullptr)
        Finding(std::string("the reader of ") + format.name + " is not built on the reading skeleton");

    core::TMemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (reader->CanLoadStream(stream) != recognised && check == TContentCheck::AgreesWithOpening)
        Finding("CanLoadStream and the content check disagree");
    if (stream.Position() != 0)
        Finding("CanLoadStream moved the stream");
    try {
        reader->ReadImageDescription(stream);
    } catch (const base::Exception&) {
        // A bad header; the load below meets it again.
    }
    if (stream.Position() != 0)
        Finding("ReadImageDescription moved the stream");

    reader->LoadFromStream(stream);
    if (stream.Position() > bytes.size())
        Finding("the load left the stream past its end");
    DrawAsOpened(*reader);
}

}  // namespace scalopex::fuzz
