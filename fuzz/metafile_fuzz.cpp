// Windows metafiles through the registered format: the content check, the
// load (EMF, or placeable WMF converted to EMF) and playback as opening
// draws it. The content check must not throw and must accept whatever loads.

#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    const fuzz::Bytes bytes(data, size);
    fuzz::Run([&] {
        const auto& format = fuzz::FormatNamed("Metafile");
        const bool recognised = fuzz::Recognises(format, bytes);
        const auto metafile = fuzz::NewReader(format);
        fuzz::LoadFrom(*metafile, bytes);
        if (!recognised)
            fuzz::Finding("a metafile loaded that the content check refuses");
        fuzz::DrawAsOpened(*metafile);
    });
    return 0;
}
