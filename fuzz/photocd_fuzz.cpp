// Photo CD files through their reader: content test, description, load and
// drawing. The reader's content test looks further into the file than the
// opening check's first bytes, so the two are not compared here.

#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    const fuzz::Bytes bytes(data, size);
    fuzz::Run([&] { fuzz::FuzzReaderGraphic(fuzz::FormatNamed("PhotoCD"), bytes, fuzz::TContentCheck::LooksFurther); });
    return 0;
}
