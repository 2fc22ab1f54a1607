#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// PLACEHOLDER: not implemented yet.
ImagePtr readGif(ByteSpan) { return nullptr; }

}  // namespace tilvane::codecs
