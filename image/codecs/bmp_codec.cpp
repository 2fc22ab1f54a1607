#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// PLACEHOLDER: not implemented yet.
ImagePtr readBmp(ByteSpan) { return nullptr; }
bool writeBmp(const PixelImage&, std::FILE*) { return false; }

}  // namespace tilvane::codecs
