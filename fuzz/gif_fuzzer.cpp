// Feeds arbitrary bytes to the GIF reader. Whatever loads is also widened to
// 32 bits, so an image whose size, depth or colour table disagree with its
// storage shows up here (up to 4 Mpixels: a header may rightly ask for far
// more, and widening that on every run would slow the search to a crawl).
// Corpus: fuzz/corpus/gif/, made by make_hostile_corpus.py.
#include <cstddef>
#include <cstdint>

#include "image/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A dozen bytes may rightly claim a logical screen of up to 1 GiB, which
    // takes seconds to fill under the sanitizers and would stall the search.
    // Such screens are left to the committed corpus, which CTest replays.
    if (size >= 10) {
        const std::int64_t screenWidth = data[6] | data[7] << 8;
        const std::int64_t screenHeight = data[8] | data[9] << 8;
        if (screenWidth * screenHeight > (std::int64_t{1} << 24)) return 0;
    }
    tilvane::ImagePtr image = tilvane::codecs::readGif(tilvane::codecs::ByteSpan(data, size));
    if (image && std::int64_t{image->width()} * image->height() <= (std::int64_t{1} << 22)) {
        tilvane::ensure32Bit(image);
    }
    return 0;
}
