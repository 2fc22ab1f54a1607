#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/sprite_values.h"

namespace tilvane {

// The largest sprite data file read: far beyond any real one, small enough to
// parse at once.
inline constexpr std::size_t kMaxSpriteDataBytes = std::size_t{16} << 20;

// The values of a sprite data file, by image key (the file name relative to
// the input folder, "/" separators, extension kept), in the order of the keys.
using SpriteDataEntries = std::vector<std::pair<std::string, SpriteValues>>;

// The sprite data's text: one JSON object whose members map an image key to
// an object with "pivot": [x, y] (numbers within kMaxPivot) and/or "borders":
// [left, top, right, bottom] (whole numbers 0..kMaxBorder); nothing else,
// nested at most three deep. Empty optional on success, else why not, naming
// the key whose value is refused (entries then empty). A key given twice
// keeps its last value.
std::optional<std::string> parseSpriteData(std::string_view text, SpriteDataEntries& entries);

// Reads and parses the file at path: a regular file of at most
// kMaxSpriteDataBytes. Empty optional on success, else why not.
std::optional<std::string> readSpriteData(const std::string& path, SpriteDataEntries& entries);

}  // namespace tilvane
