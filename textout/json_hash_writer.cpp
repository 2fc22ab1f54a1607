#include <algorithm>
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

// The members every frame has, in the order TexturePacker writes them, then
// what the extras give it. A turned frame keeps the image's upright size: its
// block in the atlas is frame.h wide and frame.w tall, the image turned
// clockwise (PixiJS's and Phaser's parsers read it so).
Json frameOf(const SourceRectEntry& entry, const FrameExtras* extras, double scale) {
    const std::int64_t w = entry.uprightWidth(), h = entry.uprightHeight();
    const bool trimmed = w != entry.originalSize.width || h != entry.originalSize.height;
    Json frame;
    frame["frame"] = {{"x", entry.left}, {"y", entry.top}, {"w", w}, {"h", h}};
    frame["rotated"] = entry.rotated;
    frame["trimmed"] = trimmed;
    frame["spriteSourceSize"] = {
        {"x", entry.drawOffset.x}, {"y", entry.drawOffset.y}, {"w", w}, {"h", h}};
    frame["sourceSize"] = {{"w", entry.originalSize.width}, {"h", entry.originalSize.height}};
    if (!extras) return frame;
    if (const auto& pivot = extras->pivot) {
        // Phaser reads pivot (or anchor), PixiJS anchor; both as fractions.
        frame["pivot"] = {{"x", pivot->x}, {"y", pivot->y}};
        frame["anchor"] = frame["pivot"];
    }
    if (const auto& borders = extras->borders) {
        frame["borders"] = {{"left", borders->left},
                            {"top", borders->top},
                            {"right", borders->right},
                            {"bottom", borders->bottom}};
        // Phaser's middle rectangle counts in the frame's own (upright) pixels.
        const Borders in = bordersInFrame(entry, *borders, scale);
        frame["scale9Borders"] = {{"x", in.left},
                                  {"y", in.top},
                                  {"w", std::max<std::int64_t>(0, w - in.left - in.right)},
                                  {"h", std::max<std::int64_t>(0, h - in.top - in.bottom)}};
    }
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

// "animations" with each animation's frame keys, or nothing without any.
std::string animationsOf(std::span<const SourceRectEntry> entries,
                         const std::vector<Animation>& animations) {
    if (animations.empty()) return {};
    std::string out = "\"animations\": {";
    bool first = true;
    for (const Animation& animation : animations) {
        Json keys = Json::array();
        for (const std::size_t i : animation.frames) {
            if (i < entries.size()) keys.push_back(jsonFrameKey(entries[i].name));
        }
        out += first ? "\n\t" : ",\n\t";
        first = false;
        out += dumpOf(Json(validUtf8(animation.name))) + ": " + dumpOf(keys);
    }
    return out + "\n},\n";
}

std::string documentOf(const Frames& frames, bool hash, const AtlasMeta& meta,
                       const std::string& animations) {
    std::string out = hash ? "{\"frames\": {" : "{\"frames\": [";
    bool first = true;
    for (const auto& [key, frame] : frames) {
        out += first ? "\n\t" : ",\n\t";
        first = false;
        if (key) out += dumpOf(Json(*key)) + ": ";
        out += dumpOf(frame);
    }
    out += hash ? "\n},\n" : "\n],\n";
    out += animations;
    out += "\"meta\": " + dumpOf(metaOf(meta)) + "\n}\n";
    return out;
}

}  // namespace

std::string formatJsonHash(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                           const EngineExtras& extras) {
    Frames frames;
    frames.reserve(entries.size());
    std::unordered_set<std::string> keys;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::string key = jsonFrameKey(entries[i].name);
        if (keys.insert(key).second) {
            frames.emplace_back(std::move(key),
                                frameOf(entries[i], extras.frameAt(i), extras.scale));
        }
    }
    return documentOf(frames, true, meta, animationsOf(entries, extras.animations));
}

namespace {

// The JSON array's frames: each with its "filename" first.
Frames arrayFrames(std::span<const SourceRectEntry> entries, const EngineExtras& extras) {
    Frames frames;
    frames.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Json frame;
        frame["filename"] = jsonFrameKey(entries[i].name);
        frame.update(frameOf(entries[i], extras.frameAt(i), extras.scale));
        frames.emplace_back(std::nullopt, std::move(frame));
    }
    return frames;
}

}  // namespace

std::string formatJsonArray(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                            const EngineExtras& extras) {
    return documentOf(arrayFrames(entries, extras), false, meta,
                      animationsOf(entries, extras.animations));
}

std::string phaserTextureEntry(const AtlasMeta& meta, std::span<const SourceRectEntry> entries,
                               const EngineExtras& extras) {
    std::string out = "{\"image\": " + dumpOf(Json(validUtf8(meta.image)));
    out += ", \"format\": \"RGBA8888\", \"size\": ";
    out += dumpOf(Json{{"w", meta.width}, {"h", meta.height}});
    // A number here, as Phaser's multi-atlas files carry it.
    out += ", \"scale\": " + decimalText(meta.scale);
    if (meta.premultipliedAlpha) out += ", \"premultipliedAlpha\": true";
    out += ", \"frames\": [";
    bool first = true;
    for (const auto& [key, frame] : arrayFrames(entries, extras)) {
        out += first ? "\n\t\t" : ",\n\t\t";
        first = false;
        out += dumpOf(frame);
    }
    return out + "\n\t]}";
}

std::string formatPhaserMulti(const AtlasMeta& meta, std::span<const std::string> textures) {
    std::string out = "{\"textures\": [";
    bool first = true;
    for (const std::string& texture : textures) {
        out += first ? "\n\t" : ",\n\t";
        first = false;
        out += texture;
    }
    Json about;
    about["app"] = "tilvane";
    about["version"] = validUtf8(meta.version);
    return out + "\n],\n\"meta\": " + dumpOf(about) + "\n}\n";
}

}  // namespace tilvane
