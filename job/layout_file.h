#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "layout/footprint.h"
#include "layout/geometry.h"

namespace tilvane {

// What a layout file records of a build: the rules its footprints were made
// with, each page's size, and where each sprite that took room of its own
// lay: its key (the name as listed), its page, its footprint, where the
// footprint started and whether it was turned.
struct LayoutRecord {
    LayoutRules rules;
    std::vector<Size> pages;
    struct Sprite {
        std::string key;
        std::size_t page = 0;
        Size footprint;
        Point at;
        // Placed a quarter turn from upright; the footprint is then the turned one.
        bool turned = false;
        friend bool operator==(const Sprite&, const Sprite&) = default;
    };
    std::vector<Sprite> sprites;
};

// The largest layout file read; a bigger one is refused unread.
inline constexpr std::size_t kMaxLayoutFileBytes = std::size_t{16} << 20;

// The file's text: JSON, one page and one sprite a line, keys as UTF-8
// strings ("keyHex", the bytes in hex, for a key that is not valid UTF-8),
// "turned": true only for a turned sprite.
std::string formatLayout(const LayoutRecord& record);

// The record a layout file's text holds, or empty with *problem saying why
// in words. Every value is checked: the format tag and version, numbers
// within their ranges (sides 1..2^31 - 1, places 0..2^31 - 1, rules
// 0..2^32 - 1), a page that exists, keys of at most 4096 bytes, each key
// once, at most 65,536 pages; anything else is ignored. Never throws.
std::optional<LayoutRecord> parseLayout(std::string_view text, std::string* problem);

// What reading a layout file found.
struct LayoutFileRead {
    enum class State {
        // No file at the path: no earlier layout.
        absent,
        read,
        // The file is there but holds no layout (problem says why).
        unusable,
    };
    State state = State::absent;
    LayoutRecord record;
    std::string problem;
};

// Reads the layout file at path: only a regular file of at most
// kMaxLayoutFileBytes, opened without waiting (a FIFO is refused, not read).
LayoutFileRead readLayoutFile(const std::string& path);

}  // namespace tilvane
