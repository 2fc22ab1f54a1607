#include <cinttypes>

#include "textout/engine_data.h"
#include "textout/text_document.h"

namespace tilvane {

std::string formatGdxAtlas(const AtlasMeta& meta, std::span<const SourceRectEntry> entries) {
    std::string page = validUtf8(meta.image);
    // The page name is a line of its own: nothing may break it.
    for (char& c : page) {
        if (c == '\n' || c == '\r') c = '_';
    }
    std::string out = page + "\n";
    appendFormat(out, "size: %u, %u\n", meta.width, meta.height);
    out += "format: RGBA8888\nfilter: Nearest, Nearest\nrepeat: none\n";
    for (const SourceRectEntry& entry : entries) {
        // libGDX measures the offset from the bottom edge of the source image.
        const std::int64_t w = entry.uprightWidth(), h = entry.uprightHeight();
        const std::int64_t bottom =
            static_cast<std::int64_t>(entry.originalSize.height) - entry.drawOffset.y - h;
        out += gdxRegionName(entry.name) + "\n";
        // A turned region keeps its upright size; libGDX reads its block,
        // size.y wide, as the image turned counter-clockwise.
        out += entry.rotated ? "  rotate: true\n" : "  rotate: false\n";
        appendFormat(out, "  xy: %d, %d\n", entry.left, entry.top);
        appendFormat(out, "  size: %" PRId64 ", %" PRId64 "\n", w, h);
        appendFormat(out, "  orig: %d, %d\n", entry.originalSize.width, entry.originalSize.height);
        appendFormat(out, "  offset: %d, %" PRId64 "\n", entry.drawOffset.x, bottom);
        out += "  index: -1\n";
    }
    return out;
}

}  // namespace tilvane
