#pragma once
/// EJpeg2000Error, the failure of reading or writing a JPEG 2000 image, and
/// the module's messages.

#include "base/exceptions.h"

namespace scalopex::formats {

class EJpeg2000Error : public base::EInvalidGraphic {
public:
    using base::EInvalidGraphic::EInvalidGraphic;
};

inline constexpr const char* kSUnknownJpeg2000Type = "Unknown JPEG 2000 file type";
inline constexpr const char* kSJpeg2000DecodingFailed = "JPEG 2000 image decoding failed";
inline constexpr const char* kSJpeg2000CreateFailed = "Failed to create JPEG 2000 image struct for saving";
inline constexpr const char* kSJpeg2000EncodingFailed = "JPEG 2000 image encoding failed";

}  // namespace scalopex::formats
