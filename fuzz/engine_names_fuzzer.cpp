// Feeds arbitrary bytes as file names to the engine-format writers: whatever a
// name holds, the JSON hash and array must parse back with every key valid
// UTF-8, no name may add a line to the libGDX atlas (animations included),
// an XML name is valid UTF-8 with no markup or control character left, and
// animations index each entry once at most.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "textout/engine_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Names are separated by NUL bytes, which no file name holds.
    std::vector<tilvane::SourceRectEntry> entries;
    std::string name;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != 0) {
            name.push_back(static_cast<char>(data[i]));
            continue;
        }
        tilvane::SourceRectEntry entry;
        entry.name = name;
        entry.width = entry.height = 1;
        entry.originalSize = {1, 1};
        entries.push_back(entry);
        name.clear();
    }
    tilvane::AtlasMeta meta{std::string(reinterpret_cast<const char*>(data), size), 1, 1, "0", {}};
    for (const std::string& document :
         {tilvane::formatJsonHash(meta, entries), tilvane::formatJsonArray(meta, entries)}) {
        const auto parsed = nlohmann::json::parse(document, nullptr, false);
        if (parsed.is_discarded() || !parsed.contains("frames")) std::abort();
        for (const auto& [key, frame] : parsed["frames"].items()) {
            const std::string k =
                parsed["frames"].is_array() ? frame["filename"].get<std::string>() : key;
            bool valid = false;
            tilvane::validUtf8(k, &valid);
            if (!valid) std::abort();
        }
    }
    tilvane::EngineExtras extras;
    extras.animations = tilvane::findAnimations(entries);
    std::vector<bool> framed(entries.size(), false);
    for (const tilvane::Animation& animation : extras.animations) {
        if (animation.frames.size() < 2) std::abort();
        for (const std::size_t i : animation.frames) {
            if (i >= entries.size() || framed[i]) std::abort();
            framed[i] = true;
            const auto numbered = tilvane::numberedName(entries[i].name);
            if (!numbered || numbered->base != animation.name) std::abort();
        }
    }
    // The page's five lines and seven per region.
    for (const auto& document :
         {tilvane::formatGdxAtlas(meta, entries), tilvane::formatGdxAtlas(meta, entries, extras)}) {
        std::size_t lines = 0;
        for (const char c : document) lines += c == '\n' || c == '\r';
        if (lines != 5 + 7 * entries.size()) std::abort();
    }
    for (const tilvane::SourceRectEntry& entry : entries) {
        const std::string escaped = tilvane::xmlEscaped(entry.name);
        bool valid = false;
        tilvane::validUtf8(escaped, &valid);
        if (!valid) std::abort();
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            const auto c = static_cast<unsigned char>(escaped[i]);
            if (c < 0x20 || c == '<' || c == '>' || c == '"' || c == '\'') std::abort();
            if (c != '&') continue;
            const std::size_t end = escaped.find(';', i);
            const std::string entity =
                escaped.substr(i, end == std::string::npos ? 0 : end - i + 1);
            bool known = false;
            for (const char* e :
                 {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#9;", "&#10;", "&#13;"})
                known = known || entity == e;
            if (!known) std::abort();
        }
    }
    return 0;
}
