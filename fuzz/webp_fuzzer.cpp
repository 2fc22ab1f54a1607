// Feeds arbitrary bytes to the WebP reader (libwebp, and the first frame of
// an animation put on its canvas by us). Whatever loads is also widened to 32
// bits, so an image whose size or depth disagree with its storage shows up
// here (up to 4 Mpixels, as in the PNG target).
// Corpus: fuzz/corpus/webp/, made by make_hostile_corpus.py.
#include <cstddef>
#include <cstdint>

#include "image/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tilvane::ImagePtr image = tilvane::codecs::readWebp(tilvane::codecs::ByteSpan(data, size));
    if (image && std::int64_t{image->width()} * image->height() <= (std::int64_t{1} << 22)) {
        tilvane::ensure32Bit(image);
    }
    return 0;
}
