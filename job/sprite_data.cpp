#include "job/sprite_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

namespace tilvane {

namespace {

using Json = nlohmann::json;

// Deepest nesting a well-formed file has: the file, an image's object, a list.
constexpr int kMaxDepth = 3;

// Whether the JSON text nests deeper than kMaxDepth (strings skipped); checked
// before parsing so that no hostile nesting reaches the parser.
bool nestsTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > kMaxDepth) return true;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return false;
}

std::string quoted(const std::string& key) {
    // The key is printed as JSON writes it, so no byte of it can forge a line.
    return Json(key).dump(-1, ' ', true, Json::error_handler_t::replace);
}

std::optional<std::string> pivotOf(const Json& value, Pivot& pivot) {
    if (!value.is_array() || value.size() != 2 || !value[0].is_number() || !value[1].is_number()) {
        return "pivot must be a list of two numbers [x, y]";
    }
    const double x = value[0].get<double>();
    const double y = value[1].get<double>();
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > kMaxPivot ||
        std::fabs(y) > kMaxPivot) {
        return "pivot values must lie within -1000..1000";
    }
    pivot = Pivot{x, y};
    return std::nullopt;
}

std::optional<std::string> bordersOf(const Json& value, Borders& borders) {
    if (!value.is_array() || value.size() != 4) {
        return "borders must be a list of four whole numbers [left, top, right, bottom]";
    }
    std::uint32_t sides[4] = {};
    for (std::size_t i = 0; i < 4; ++i) {
        const Json& side = value[i];
        const bool whole = side.is_number_unsigned() ||
                           (side.is_number_integer() && side.get<std::int64_t>() >= 0);
        if (!whole || side.get<std::uint64_t>() > kMaxBorder) {
            return "borders must be whole numbers from 0 to " + std::to_string(kMaxBorder);
        }
        sides[i] = static_cast<std::uint32_t>(side.get<std::uint64_t>());
    }
    borders = Borders{sides[0], sides[1], sides[2], sides[3]};
    return std::nullopt;
}

}  // namespace

std::optional<std::string> parseSpriteData(std::string_view text, SpriteDataEntries& entries) {
    entries.clear();
    // Nothing half read is kept: the values land only once all are read.
    SpriteDataEntries parsed;
    if (nestsTooDeep(text)) return "it nests deeper than a sprite data file does";
    const Json root = Json::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded()) return "it is not valid JSON";
    if (!root.is_object()) return "it must be a JSON object of image names";
    for (const auto& [key, value] : root.items()) {
        const std::string name = quoted(key);
        if (!value.is_object()) return name + ": the value must be an object";
        SpriteValues values;
        for (const auto& [field, member] : value.items()) {
            std::optional<std::string> why;
            if (field == "pivot") {
                why = pivotOf(member, values.pivot.emplace());
            } else if (field == "borders") {
                why = bordersOf(member, values.borders.emplace());
            } else {
                why = "unknown field " + quoted(field) + " (pivot and borders are known)";
            }
            if (why) return name + ": " + *why;
        }
        parsed.emplace_back(key, values);
    }
    entries = std::move(parsed);
    return std::nullopt;
}

std::optional<std::string> readSpriteData(const std::string& path, SpriteDataEntries& entries) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::string(std::strerror(errno));
    struct stat st {};
    std::optional<std::string> why;
    std::string text;
    if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (static_cast<std::uint64_t>(st.st_size) > kMaxSpriteDataBytes) {
        why = "larger than " + std::to_string(kMaxSpriteDataBytes >> 20) + " MiB";
    } else {
        // Read to the end but never past the cap, should the file grow meanwhile.
        char chunk[1 << 16];
        for (;;) {
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                why = std::strerror(errno);
                break;
            }
            if (got == 0) break;
            text.append(chunk, static_cast<std::size_t>(got));
            if (text.size() > kMaxSpriteDataBytes) {
                why = "larger than " + std::to_string(kMaxSpriteDataBytes >> 20) + " MiB";
                break;
            }
        }
    }
    ::close(fd);
    if (why) return why;
    return parseSpriteData(text, entries);
}

}  // namespace tilvane
