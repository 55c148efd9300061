#pragma once
/// GIFException, the failure of every GIF operation, and the texts of the
/// module's failures and warnings.

#include "base/exceptions.h"

namespace scalopex::formats {

class GIFException : public base::EInvalidGraphic {
public:
    using base::EInvalidGraphic::EInvalidGraphic;
};

// Failures.
inline constexpr const char* kSBadSignature = "Invalid GIF signature";
inline constexpr const char* kSPrematureEnd = "Premature end of data";
inline constexpr const char* kSUnknownExtension = "Unknown extension type";
inline constexpr const char* kSBadAppExtSize = "Unsupported Application Extension block size";
inline constexpr const char* kSInvalidData = "Invalid GIF data";
inline constexpr const char* kSDecodeCircular = "Circular decoder table entry";
inline constexpr const char* kSNoColorTable = "No global or local color table defined";
inline constexpr const char* kSBadColorIndex = "Color not in color table";
inline constexpr const char* kSColorTableOverflow = "Color table overflow";
inline constexpr const char* kSBadVersion = "Unsupported GIF version";
inline constexpr const char* kSWidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* kSHeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* kSOutOfData = "Failed to allocate memory for GIF DIB";

// Warnings: reading goes on.
inline constexpr const char* kSUnknownBlock = "Unknown GIF block type";
inline constexpr const char* kSBadExtensionIntroducer = "Invalid extension introducer";
inline constexpr const char* kSBadTrailer = "Invalid Image trailer";
inline constexpr const char* kSImageExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* kSBitBufferUnderRun = "Decoder bit buffer under-run";
inline constexpr const char* kSInvalidColorIndex = "Invalid color index";

// Limits of this engine.
inline constexpr const char* kSTooLarge = "Image too large for GIF: at most 65535 x 65535 pixels";
inline constexpr const char* kSFramesTooLarge = "GIF frames exceed the engine's memory limit";

}  // namespace scalopex::formats
