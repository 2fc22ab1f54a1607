#include <cinttypes>
#include <optional>
#include <utility>

#include "textout/engine_data.h"
#include "textout/text_document.h"

namespace tilvane {

std::string formatGdxAtlas(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                           const EngineExtras& extras) {
    // A frame of an animation shares the animation's name, told apart by its number.
    std::vector<std::optional<std::pair<std::string, std::uint32_t>>> sequence(entries.size());
    for (const Animation& animation : extras.animations) {
        const std::string name = gdxName(animation.name);
        for (const std::size_t i : animation.frames) {
            const std::optional<NumberedName> numbered =
                i < entries.size() ? numberedName(entries[i].name) : std::nullopt;
            if (numbered) sequence[i].emplace(name, numbered->number);
        }
    }
    std::string page = validUtf8(meta.image);
    // The page name is a line of its own: nothing may break it.
    for (char& c : page) {
        if (c == '\n' || c == '\r') c = '_';
    }
    std::string out = page + "\n";
    appendFormat(out, "size: %u, %u\n", meta.width, meta.height);
    out += "format: RGBA8888\nfilter: Nearest, Nearest\nrepeat: none\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SourceRectEntry& entry = entries[i];
        // libGDX measures the offset from the bottom edge of the source image.
        const std::int64_t w = entry.uprightWidth(), h = entry.uprightHeight();
        const std::int64_t bottom =
            static_cast<std::int64_t>(entry.originalSize.height) - entry.drawOffset.y - h;
        out += (sequence[i] ? sequence[i]->first : gdxRegionName(entry.name)) + "\n";
        // A turned region keeps its upright size; libGDX reads its block,
        // size.y wide, as the image turned counter-clockwise.
        out += entry.rotated ? "  rotate: true\n" : "  rotate: false\n";
        appendFormat(out, "  xy: %d, %d\n", entry.left, entry.top);
        appendFormat(out, "  size: %" PRId64 ", %" PRId64 "\n", w, h);
        const FrameExtras* frame = extras.frameAt(i);
        if (frame && frame->borders) {
            // Every libGDX reader takes split and pad right after size, in
            // this order: left, right, top, bottom, within the region.
            const Borders in = bordersInFrame(entry, *frame->borders, extras.scale);
            for (const char* key : {"split", "pad"}) {
                appendFormat(out, "  %s: %u, %u, %u, %u\n", key, in.left, in.right, in.top,
                             in.bottom);
            }
        }
        appendFormat(out, "  orig: %d, %d\n", entry.originalSize.width, entry.originalSize.height);
        appendFormat(out, "  offset: %d, %" PRId64 "\n", entry.drawOffset.x, bottom);
        if (sequence[i]) {
            appendFormat(out, "  index: %u\n", sequence[i]->second);
        } else {
            out += "  index: -1\n";
        }
    }
    return out;
}

}  // namespace tilvane
