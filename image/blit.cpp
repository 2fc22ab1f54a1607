#include "image/blit.h"

namespace tilvane {

// PLACEHOLDER: not implemented yet.
bool blitImage(PixelImage*, const PixelImage*, std::int32_t, std::int32_t, const Rect*) {
    return false;
}

}  // namespace tilvane
