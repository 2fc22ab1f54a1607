// Feeds arbitrary bytes to the --sprite-data parser: whatever the file holds,
// it is refused with a reason or every value it gives lies within its limits.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "job/sprite_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tilvane::SpriteDataEntries entries;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto why = tilvane::parseSpriteData(text, entries);
    if (why && (why->empty() || !entries.empty())) std::abort();
    for (const auto& [key, values] : entries) {
        if (const auto& pivot = values.pivot) {
            for (const double v : {pivot->x, pivot->y}) {
                if (!std::isfinite(v) || std::fabs(v) > tilvane::kMaxPivot) std::abort();
            }
        }
        if (const auto& b = values.borders) {
            for (const std::uint32_t v : {b->left, b->top, b->right, b->bottom}) {
                if (v > tilvane::kMaxBorder) std::abort();
            }
        }
    }
    return 0;
}
