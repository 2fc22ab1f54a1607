#include "job/layout_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <unordered_set>

#include "textout/engine_data.h"

namespace tilvane {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kFormatTag = "tilvane-layout";
constexpr std::int64_t kVersion = 1;
constexpr std::size_t kMaxPages = 65536;
constexpr std::size_t kMaxKeyBytes = 4096;
constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMaxRule = std::numeric_limits<std::uint32_t>::max();

std::string jsonString(std::string_view text) {
    return Json(std::string(text)).dump();
}

std::string hexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::optional<std::string> bytesOfHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes += static_cast<char>(hi * 16 + lo);
    }
    return bytes;
}

// The integer field `name` of object o within lo..hi, or empty.
std::optional<std::int64_t> integer(const Json& o, const char* name, std::int64_t lo,
                                    std::int64_t hi) {
    const auto it = o.find(name);
    if (it == o.end()) return std::nullopt;
    if (it->is_number_unsigned()) {
        const auto v = it->get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(hi)) return std::nullopt;
        const auto s = static_cast<std::int64_t>(v);
        return s >= lo ? std::optional(s) : std::nullopt;
    }
    if (!it->is_number_integer()) return std::nullopt;
    const auto v = it->get<std::int64_t>();
    return v >= lo && v <= hi ? std::optional(v) : std::nullopt;
}

std::optional<Size> sizeIn(const Json& o) {
    const auto w = integer(o, "w", 1, kMaxSide), h = integer(o, "h", 1, kMaxSide);
    if (!w || !h) return std::nullopt;
    return Size{static_cast<std::int32_t>(*w), static_cast<std::int32_t>(*h)};
}

std::optional<LayoutRecord> parseChecked(const Json& doc, std::string& why) {
    const auto fail = [&why](std::string text) {
        why = std::move(text);
        return std::nullopt;
    };
    if (!doc.is_object()) return fail("it is not a JSON object");
    const auto format = doc.find("format");
    if (format == doc.end() || !format->is_string() ||
        format->get_ref<const std::string&>() != kFormatTag) {
        return fail("it is not a layout file (no \"format\": \"tilvane-layout\")");
    }
    if (integer(doc, "version", kVersion, kVersion) != kVersion) {
        return fail("its version is not 1");
    }
    LayoutRecord record;
    const auto rules = doc.find("rules");
    if (rules == doc.end() || !rules->is_object()) return fail("it has no rules");
    const auto rule = [&](const char* name) { return integer(*rules, name, 0, kMaxRule); };
    const auto spacing = rule("spacing"), extrude = rule("extrude"), border = rule("border"),
               gridX = rule("gridX"), gridY = rule("gridY");
    if (!spacing || !extrude || !border || !gridX || !gridY) {
        return fail("a rule is missing or out of range");
    }
    record.rules = {static_cast<std::uint32_t>(*spacing),
                    static_cast<std::uint32_t>(*extrude),
                    {static_cast<std::uint32_t>(*border), static_cast<std::uint32_t>(*gridX),
                     static_cast<std::uint32_t>(*gridY)}};

    const auto pages = doc.find("pages");
    if (pages == doc.end() || !pages->is_array() || pages->empty() || pages->size() > kMaxPages) {
        return fail("it has no pages, or more than 65536");
    }
    for (const Json& page : *pages) {
        const std::optional<Size> size = page.is_object() ? sizeIn(page) : std::nullopt;
        if (!size) return fail("a page's size is missing or out of range");
        record.pages.push_back(*size);
    }

    const auto sprites = doc.find("sprites");
    if (sprites == doc.end() || !sprites->is_array()) return fail("it has no sprites");
    std::unordered_set<std::string> keys;
    record.sprites.reserve(sprites->size());
    for (const Json& sprite : *sprites) {
        if (!sprite.is_object()) return fail("a sprite is not an object");
        std::optional<std::string> key;
        if (const auto text = sprite.find("key"); text != sprite.end() && text->is_string()) {
            key = text->get<std::string>();
        } else if (const auto hex = sprite.find("keyHex");
                   hex != sprite.end() && hex->is_string()) {
            key = bytesOfHex(hex->get_ref<const std::string&>());
        }
        if (!key || key->empty() || key->size() > kMaxKeyBytes) {
            return fail("a sprite's key is missing, empty or longer than 4096 bytes");
        }
        const auto page =
            integer(sprite, "page", 0, static_cast<std::int64_t>(record.pages.size()) - 1);
        const auto x = integer(sprite, "x", 0, kMaxSide), y = integer(sprite, "y", 0, kMaxSide);
        const std::optional<Size> footprint = sizeIn(sprite);
        if (!page || !x || !y || !footprint) {
            return fail("the place of " + jsonString(*key) + " is missing or out of range");
        }
        const auto turned = sprite.find("turned");
        if (turned != sprite.end() && !turned->is_boolean()) {
            return fail("the turn of " + jsonString(*key) + " is not true or false");
        }
        if (!keys.insert(*key).second) return fail(jsonString(*key) + " is listed twice");
        record.sprites.push_back({std::move(*key),
                                  static_cast<std::size_t>(*page),
                                  *footprint,
                                  {static_cast<std::int32_t>(*x), static_cast<std::int32_t>(*y)},
                                  turned != sprite.end() && turned->get<bool>()});
    }
    return record;
}

}  // namespace

std::string formatLayout(const LayoutRecord& record) {
    const auto number = [](auto v) { return std::to_string(v); };
    const PlacementSettings& p = record.rules.placement;
    std::string text = "{\n  \"format\": \"tilvane-layout\",\n  \"version\": 1,\n";
    text += "  \"rules\": {\"spacing\": " + number(record.rules.spacing) +
            ", \"extrude\": " + number(record.rules.extrude) +
            ", \"border\": " + number(p.borderSize) + ", \"gridX\": " + number(p.gridAlignX) +
            ", \"gridY\": " + number(p.gridAlignY) + "},\n  \"pages\": [";
    for (std::size_t i = 0; i < record.pages.size(); ++i) {
        text += (i == 0 ? "\n    " : ",\n    ");
        text += "{\"w\": " + number(record.pages[i].width) +
                ", \"h\": " + number(record.pages[i].height) + "}";
    }
    text += "\n  ],\n  \"sprites\": [";
    for (std::size_t i = 0; i < record.sprites.size(); ++i) {
        const LayoutRecord::Sprite& s = record.sprites[i];
        bool valid = false;
        validUtf8(s.key, &valid);
        text += (i == 0 ? "\n    {" : ",\n    {");
        text += valid ? "\"key\": " + jsonString(s.key) : "\"keyHex\": \"" + hexOf(s.key) + "\"";
        text += ", \"page\": " + number(s.page) + ", \"x\": " + number(s.at.x) +
                ", \"y\": " + number(s.at.y) + ", \"w\": " + number(s.footprint.width) +
                ", \"h\": " + number(s.footprint.height) + (s.turned ? ", \"turned\": true}" : "}");
    }
    text += record.sprites.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return text;
}

std::optional<LayoutRecord> parseLayout(std::string_view text, std::string* problem) {
    std::string why;
    std::optional<LayoutRecord> record;
    try {
        const Json doc = Json::parse(text.begin(), text.end(), nullptr, false);
        if (doc.is_discarded()) {
            why = "it is not valid JSON";
        } else {
            record = parseChecked(doc, why);
        }
    } catch (const std::exception& e) {
        // Out of memory, or a value the checks let through by mistake.
        why = std::string("it could not be read: ") + e.what();
        record.reset();
    }
    if (!record && problem) *problem = why;
    return record;
}

LayoutFileRead readLayoutFile(const std::string& path) {
    LayoutFileRead read;
    const auto unusable = [&read](std::string why) {
        read.state = LayoutFileRead::State::unusable;
        read.problem = std::move(why);
        return read;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return read;
        return unusable(std::strerror(errno));
    }
    struct stat st {};
    std::string bytes;
    int readError = 0;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && static_cast<std::uint64_t>(st.st_size) <= kMaxLayoutFileBytes) {
        // Read to the end, but never past the limit: the file may grow meanwhile.
        bytes.resize(kMaxLayoutFileBytes + 1);
        std::size_t used = 0;
        while (used < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) readError = errno;
            if (n <= 0) break;
            used += static_cast<std::size_t>(n);
        }
        bytes.resize(used);
    }
    ::close(fd);
    if (!regular) return unusable("it is not a regular file");
    if (readError != 0) return unusable(std::strerror(readError));
    if (bytes.size() > kMaxLayoutFileBytes ||
        static_cast<std::uint64_t>(st.st_size) > kMaxLayoutFileBytes) {
        return unusable("it is larger than 16 MiB");
    }
    std::string why;
    std::optional<LayoutRecord> record = parseLayout(bytes, &why);
    if (!record) return unusable(why);
    read.state = LayoutFileRead::State::read;
    read.record = std::move(*record);
    return read;
}

}  // namespace tilvane
