// Feeds arbitrary bytes to the Targa reader. Whatever loads is also widened to
// 32 bits, so an image whose size, depth or palette disagree with its storage
// shows up here and not in a build (up to 4 Mpixels: a header may rightly ask
// for far more, and widening that on every run would slow the search to a crawl).
#include <cstddef>
#include <cstdint>

#include "image/codecs/codecs.h"
#include "image/pixel_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tilvane::ImagePtr image = tilvane::codecs::readTga(tilvane::codecs::ByteSpan(data, size));
    if (image && std::int64_t{image->width()} * image->height() <= (std::int64_t{1} << 22)) {
        tilvane::ensure32Bit(image);
    }
    return 0;
}
