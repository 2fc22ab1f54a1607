#include <nlohmann/json.hpp>

#include "textout/engine_data.h"

namespace tilvane {

namespace {

using Json = nlohmann::ordered_json;

// The members every frame has, in the order TexturePacker writes them.
Json frameOf(const SourceRectEntry& entry) {
    const bool trimmed =
        entry.width != entry.originalSize.width || entry.height != entry.originalSize.height;
    Json frame;
    frame["frame"] = {{"x", entry.left}, {"y", entry.top}, {"w", entry.width}, {"h", entry.height}};
    frame["rotated"] = false;
    frame["trimmed"] = trimmed;
    frame["spriteSourceSize"] = {{"x", entry.drawOffset.x},
                                 {"y", entry.drawOffset.y},
                                 {"w", entry.width},
                                 {"h", entry.height}};
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
    out["scale"] = "1";
    if (!meta.relatedPages.empty()) {
        Json related = Json::array();
        for (const std::string& name : meta.relatedPages) related.push_back(validUtf8(name));
        out["related_multi_packs"] = std::move(related);
    }
    return out;
}

// Every string was made valid UTF-8 before, so the strict dump cannot throw;
// non-ASCII characters are written as they are, control characters escaped.
// One frame per line keeps a large atlas readable and its diffs small.
std::string dumpOf(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string documentOf(const Json& frames, const AtlasMeta& meta) {
    const bool hash = frames.is_object();
    std::string out = hash ? "{\"frames\": {" : "{\"frames\": [";
    bool first = true;
    for (const auto& [key, frame] : frames.items()) {
        out += first ? "\n\t" : ",\n\t";
        first = false;
        if (hash) out += dumpOf(Json(key)) + ": ";
        out += dumpOf(frame);
    }
    out += hash ? "\n},\n" : "\n],\n";
    out += "\"meta\": " + dumpOf(metaOf(meta)) + "\n}\n";
    return out;
}

}  // namespace

std::string formatJsonHash(const AtlasMeta& meta, std::span<const SourceRectEntry> entries) {
    Json frames = Json::object();
    for (const SourceRectEntry& entry : entries) {
        const std::string key = jsonFrameKey(entry.name);
        if (!frames.contains(key)) frames[key] = frameOf(entry);
    }
    return documentOf(frames, meta);
}

std::string formatJsonArray(const AtlasMeta& meta, std::span<const SourceRectEntry> entries) {
    Json frames = Json::array();
    for (const SourceRectEntry& entry : entries) {
        Json frame;
        frame["filename"] = jsonFrameKey(entry.name);
        frame.update(frameOf(entry));
        frames.push_back(std::move(frame));
    }
    return documentOf(frames, meta);
}

}  // namespace tilvane
