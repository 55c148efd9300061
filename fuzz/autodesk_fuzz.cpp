// Autodesk cel and picture files through their reader: content check, description, load and
// drawing, as the shared reading skeleton runs them.

#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    const fuzz::Bytes bytes(data, size);
    fuzz::Run([&] { fuzz::FuzzReaderGraphic(fuzz::FormatNamed("Autodesk"), bytes); });
    return 0;
}
