#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// PLACEHOLDER: not implemented yet.
ImagePtr readPsd(ByteSpan) { return nullptr; }

}  // namespace tilvane::codecs
