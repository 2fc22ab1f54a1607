// Feeds arbitrary bytes to the JPEG reader; any image it returns must be
// internally consistent. Corpus: fuzz/corpus/jpeg/ (make_hostile_corpus.py).
#include <cstddef>
#include <cstdint>

#include "image/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tilvane::ImagePtr image = tilvane::codecs::readJpeg(tilvane::codecs::ByteSpan(data, size));
    if (image) {
        // Touch the last byte, so storage shorter than its size shows up.
        volatile std::uint8_t last = image->bits()[image->byteSize() - 1];
        (void)last;
    }
    return 0;
}
