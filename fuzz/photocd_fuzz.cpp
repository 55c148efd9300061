// Photo CD files through their reader: content test, description, load and
// drawing. The reader's content test looks further into the file than the
// opening check's first bytes, so the two are not compared here.

#include <memory>
#include <vector>

#include "core/stream.h"
#include "formats/common/reader_graphic.h"
#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    const fuzz::Bytes bytes(data, size);
    fuzz::Run([&] {
        const formats::TFormatDescriptor& format = fuzz::FormatNamed("PhotoCD");
        fuzz::Recognises(format, bytes);
        const std::unique_ptr<core::TGraphic> graphic = fuzz::NewReader(format);
        auto& reader = dynamic_cast<formats::TReaderGraphic&>(*graphic);
        core::TMemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        reader.CanLoadStream(stream);
        if (stream.Position() != 0)
            fuzz::Finding("CanLoadStream moved the stream");
        try {
            reader.ReadImageDescription(stream);
        } catch (const base::Exception&) {
            // A bad header; the load below meets it again.
        }
        if (stream.Position() != 0)
            fuzz::Finding("ReadImageDescription moved the stream");
        reader.LoadFromStream(stream);
        if (stream.Position() > bytes.size())
            fuzz::Finding("the load left the stream past its end");
        fuzz::DrawAsOpened(reader);
    });
    return 0;
}
