// Feeds arbitrary bytes to the PNG reader. Whatever loads is also widened to
// 32 bits, so an image whose size, depth or colour table disagree with its
// storage shows up here (up to 4 Mpixels: a header may rightly ask for far
// more, and widening that on every run would slow the search to a crawl).
// Corpus: fuzz/corpus/png/, made by make_hostile_corpus.py.
#include <cstddef>
#include <cstdint>

#include "image/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tilvane::ImagePtr image = tilvane::codecs::readPng(tilvane::codecs::ByteSpan(data, size));
    if (image && std::int64_t{image->width()} * image->height() <= (std::int64_t{1} << 22)) {
        tilvane::ensure32Bit(image);
    }
    return 0;
}
