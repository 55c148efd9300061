#pragma once
/// Shared set-up of the fuzz targets. Every target hands its bytes to one
/// reader or decoder inside Run: the engine's own exceptions (base::Exception
/// and what derives from it) are the expected outcome of bad input; any other
/// exception, and every broken invariant a target checks, is reported as a
/// finding and aborts, so that libFuzzer keeps the input. The same targets
/// link into plain replay programs (replay_main.cpp).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/exceptions.h"
#include "base/limits.h"
#include "core/bitmap.h"
#include "core/graphic.h"
#include "formats/common/format_descriptor.h"

/// The entry point libFuzzer calls, and the replay programs too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace scalopex::fuzz {

using Bytes = std::span<const std::uint8_t>;

/// The limits in force in every fuzz target: far below the fuzzer's memory
/// cap, so that a bomb header meets the engine's own check, and few scans,
/// so that no legal file decodes for seconds.
base::TLimits FuzzLimits();

/// Sets FuzzLimits, once per process; Run calls it.
void SetUpFuzzing();

/// Reports a broken invariant of the code under test and aborts.
[[noreturn]] void Finding(const std::string& what);

/// Reports the exception in flight (of a type the engine must not raise on
/// bad input) and aborts.
[[noreturn]] void UnexpectedException();

/// Prints the message of a refused input when SCALOPEX_FUZZ_VERBOSE is set
/// (to see what the seeds reach).
void Refused(const base::Exception& e);

/// Runs body(): returns when it finishes or throws a base::Exception; any
/// other exception is a finding.
template <typename Body>
void Run(Body&& body)
{
    SetUpFuzzing();
    try {
        body();
    } catch (const base::Exception& e) {
        Refused(e);  // bad input, refused with a message: the expected outcome
    } catch (...) {
        UnexpectedException();
    }
}

/// The option byte of a target whose reader has options: the last input
/// byte (0 for an empty input). The whole input is still the file.
inline std::uint8_t OptionByte(Bytes bytes)
{
    return bytes.empty() ? 0 : bytes.back();
}

/// Takes set-up fields off the front of a decoder target's input. Past the
/// end every field reads 0.
class TFieldReader {
public:
    explicit TFieldReader(Bytes bytes) : m_bytes(bytes) {}
    std::uint8_t U8();
    std::uint16_t U16();
    /// The next n bytes, or as many as are left.
    Bytes Take(std::size_t n);
    /// Everything not yet taken.
    Bytes Rest() const { return m_bytes.subspan(m_pos); }

private:
    Bytes m_bytes;
    std::size_t m_pos = 0;
};

/// Fills a decoder's output buffer before a call, so that bytes it must not
/// touch can be checked afterwards.
inline constexpr std::uint8_t kCanary = 0xA5;

/// Finding unless every byte of bytes is kCanary; what names the buffer.
void ExpectCanary(Bytes bytes, const char* what);

/// The registered format of that name ("BMP", "GIF", "JPEG", "PNG", "Targa").
const formats::TFormatDescriptor& FormatNamed(const char* name);

/// The format's content check on the first bytes of the input, as opening
/// makes it (it must not throw).
bool Recognises(const formats::TFormatDescriptor& format, Bytes bytes);

/// A new, empty graphic of the format's reader class.
std::unique_ptr<core::TGraphic> NewReader(const formats::TFormatDescriptor& format);

/// Loads graphic from a memory stream holding bytes; the stream must be left
/// inside the data.
void LoadFrom(core::TGraphic& graphic, Bytes bytes);

/// Draws graphic onto a new 24-bit bitmap as opening does; the bitmap must
/// have the graphic's size.
std::unique_ptr<core::TBitmap> DrawAsOpened(const core::TGraphic& graphic);

/// Whether a reader's CanLoadStream must agree with the opening check of the
/// first bytes; some readers' own test looks further into the file.
enum class TContentCheck { AgreesWithOpening, LooksFurther };

/// The whole run of a reader built on the shared reading skeleton: the
/// content check, the description, the load and the drawing.
void FuzzReaderGraphic(const formats::TFormatDescriptor& format, Bytes bytes,
                       TContentCheck check = TContentCheck::AgreesWithOpening);

}  // namespace scalopex::fuzz
