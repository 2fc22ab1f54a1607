#include <nlohmann/json.hpp>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/number_text.h"
#include "textout/engine_data.h"

namespace tilvane {

namespace {

using Json = nlohmann::ordered_json;

// The members every frame has, in the order TexturePacker writes them. A
// turned frame keeps the image's upright size: its block in the atlas is
// frame.h wide and frame.w tall, the image turned clockwise (PixiJS's and
// Phaser's parsers read it so).
Json frameOf(const SourceRectEntry& entry) {
    const std::int64_t w = entry.uprightWidth(), h = entry.uprightHeight();
    const bool trimmed = w != entry.originalSize.width || h != entry.originalSize.height;
    Json frame;
    frame["frame"] = {{"x", entry.left}, {"y", entry.top}, {"w", w}, {"h", h}};
    frame["rotated"] = entry.rotated;
    frame["trimmed"] = trimmed;
    frame["spriteSourceSize"] = {
        {"x", entry.drawOffset.x}, {"y", entry.drawOffset.y}, {"w", w}, {"h", h}};
    frame["sourceSize"] = {{"w", entry.originalSize.width}, {"h", entry.originalSize.height}};
    return frame;
}

Json metaOf(const AtlasMeta& meta) {
    Json out;
    out["app"] = "tilvane";
    out["version"] = validUtf8(meta.version);
    out["image"] = validUtf8(meta.image);
    out["format"] = "RGBA8888";
    out["size"] = {{"w", meta.width}, {"h", meta.height}};
    // A string, as TexturePacker writes it; the loaders parse it as a number.
    out["scale"] = decimalText(meta.scale);
    if (!meta.relatedPages.empty()) {
        Json related = Json::array();
        for (const std::string& name : meta.relatedPages) related.push_back(validUtf8(name));
        out["related_multi_packs"] = std::move(related);
    }
    if (meta.premultipliedAlpha) out["premultipliedAlpha"] = true;
    return out;
}

// Every string was made valid UTF-8 before, so the strict dump cannot throw;
// non-ASCII characters are written as they are, control characters escaped.
// One frame per line keeps a large atlas readable and its diffs small.
std::string dumpOf(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The frames in document order, each with its key in the hash (none in the
// array). Kept as a list rather than an ordered_json object, whose insertion
// and lookup walk every key before it.
using Frames = std::vector<std::pair<std::optional<std::string>, Json>>;

std::string documentOf(const Frames& frames, bool hash, const AtlasMeta& meta) {
    std::string out = hash ? "{\"frames\": {" : "{\"frames\": [";
    bool first = true;
    for (const auto& [key, frame] : frames) {
        out += first ? "\n\t" : ",\n\t";
        first = false;
        if (key) out += dumpOf(Json(*key)) + ": ";
        out += dumpOf(frame);
    }
    out += hash ? "\n},\n" : "\n],\n";
    out += "\"meta\": " + dumpOf(metaOf(meta)) + "\n}\n";
    return out;
}

}  // namespace

std::string formatJsonHash(const AtlasMeta& meta, std::span<const SourceRectEntry> entries) {
    Frames frames;
    frames.reserve(entries.size());
    std::unordered_set<std::string> keys;
    for (const SourceRectEntry& entry : entries) {
        std::string key = jsonFrameKey(entry.name);
        if (keys.insert(key).second) frames.emplace_back(std::move(key), frameOf(entry));
    }
    return documentOf(frames, true, meta);
}

std::string formatJsonArray(const AtlasMeta& meta, std::span<const SourceRectEntry> entries) {
    Frames frames;
    frames.reserve(entries.size());
    for (const SourceRectEntry& entry : entries) {
        Json frame;
        frame["filename"] = jsonFrameKey(entry.name);
        frame.update(frameOf(entry));
        frames.emplace_back(std::nullopt, std::move(frame));
    }
    return documentOf(frames, false, meta);
}

}  // namespace tilvane
