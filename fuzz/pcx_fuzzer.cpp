// Feeds arbitrary bytes to the PCX reader. Whatever loads is also widened to
// 32 bits, so an image whose size, depth or palette disagree with its storage
// shows up here and not in a build.
#include <cstddef>
#include <cstdint>

#include "image/codecs/codecs.h"
#include "image/pixel_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tilvane::ImagePtr image = tilvane::codecs::readPcx(tilvane::codecs::ByteSpan(data, size));
    if (image) tilvane::ensure32Bit(image);
    return 0;
}
