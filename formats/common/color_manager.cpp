#include "formats/common/color_manager.h"

namespace scalopex::formats {

TColorManager::TColorManager() = default;

}  // namespace scalopex::formats
