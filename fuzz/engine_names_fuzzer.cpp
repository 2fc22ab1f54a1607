// Feeds arbitrary bytes as file names to the engine-format writers: whatever a
// name holds, the JSON hash and array must parse back with every key valid
// UTF-8, and no name may add a line to the libGDX atlas.
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
    // The page's five lines and seven per region.
    const std::string atlas = tilvane::formatGdxAtlas(meta, entries);
    std::size_t lines = 0;
    for (const char c : atlas) lines += c == '\n' || c == '\r';
    if (lines != 5 + 7 * entries.size()) std::abort();
    return 0;
}
