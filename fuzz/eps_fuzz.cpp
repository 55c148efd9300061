// Binary EPS files through TEPSGraphic: the header, then the TIFF preview as
// the shared reading skeleton runs it.

#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    const fuzz::Bytes bytes(data, size);
    fuzz::Run([&] { fuzz::FuzzReaderGraphic(fuzz::FormatNamed("EPS"), bytes); });
    return 0;
}
