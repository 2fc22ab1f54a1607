#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// PLACEHOLDER: not implemented yet.
ImagePtr readJpeg(ByteSpan) { return nullptr; }
bool writeJpeg(const PixelImage&, std::FILE*, int) { return false; }

}  // namespace tilvane::codecs
