#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// PLACEHOLDER: not implemented yet.
ImagePtr readTiff(ByteSpan) { return nullptr; }
bool writeTiff(const PixelImage&, std::FILE*, std::int32_t) { return false; }

}  // namespace tilvane::codecs
