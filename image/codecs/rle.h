#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/codecs/byte_reader.h"

namespace tilvane::codecs {

// Unpacks PackBits (Macintosh PackBits, IFF ByteRun1, PSD) from the cursor into
// out, stopping when out is full. A run that reaches past the end of out is cut
// there (its source bytes are still consumed). True when out was filled; false
// when the data ran out first (the rest of out is left as it was).
inline bool unpackBits(ByteReader& in, std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        if (in.atEnd()) return false;
        const auto header = static_cast<std::int8_t>(in.u8());
        if (header >= 0) {
            const std::size_t count = static_cast<std::size_t>(header) + 1;
            const ByteSpan literal = in.bytes(std::min(count, in.remaining()));
            const std::size_t copied = std::min(literal.size(), out.size() - filled);
            std::copy_n(literal.begin(), copied, out.begin() + static_cast<std::ptrdiff_t>(filled));
            filled += copied;
            if (literal.size() < count) return filled == out.size();
        } else if (header != -128) {
            if (in.atEnd()) return false;
            const std::uint8_t value = in.u8();
            const std::size_t count = std::min<std::size_t>(1 - header, out.size() - filled);
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(filled), count, value);
            filled += count;
        }
        // -128 is a no-op by definition.
    }
    return true;
}

}  // namespace tilvane::codecs
