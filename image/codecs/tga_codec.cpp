#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// PLACEHOLDER: not implemented yet.
ImagePtr readTga(ByteSpan) { return nullptr; }
bool writeTga(const PixelImage&, std::FILE*) { return false; }

}  // namespace tilvane::codecs
