#include "image/mask.h"

namespace tilvane {

// PLACEHOLDER: not implemented yet.
std::string maskPathFor(const std::string& outputImageFile) { return outputImageFile; }
bool createMaskImage(const std::string&, std::uint32_t, std::uint32_t, const std::vector<Rect>&) {
    return false;
}

}  // namespace tilvane
