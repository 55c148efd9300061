// Dr. Halo cut files through their reader: content check, description,
// load and drawing, as the shared reading skeleton runs them. A stream load
// has no palette file, so the grey ramp is used.

#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    const fuzz::Bytes bytes(data, size);
    fuzz::Run([&] { fuzz::FuzzReaderGraphic(fuzz::FormatNamed("CUT"), bytes); });
    return 0;
}
