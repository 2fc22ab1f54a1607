#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// PLACEHOLDER: not implemented yet.
ImagePtr readSgi(ByteSpan) { return nullptr; }
bool writeSgi(const PixelImage&, std::FILE*) { return false; }

}  // namespace tilvane::codecs
