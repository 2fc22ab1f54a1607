#include "image/trim.h"

namespace tilvane {

// PLACEHOLDER: not implemented yet.
bool findTrimRect(const PixelImage*, std::uint32_t, Rect*) { return false; }

}  // namespace tilvane
