#include "image/codecs/codecs.h"

namespace tilvane::codecs {

// PLACEHOLDER: not implemented yet.
ImagePtr readPng(ByteSpan) { return nullptr; }
bool writePng(const PixelImage&, std::FILE*) { return false; }

}  // namespace tilvane::codecs
