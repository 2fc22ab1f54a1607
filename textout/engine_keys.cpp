#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>

#include "textout/engine_data.h"

namespace tilvane {

namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when none starts there.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    // Only the second byte has the narrowed range.
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string validUtf8(std::string_view text, bool* valid) {
    std::string out;
    out.reserve(text.size());
    bool clean = true;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = sequenceLength(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            clean = false;
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    if (valid) *valid = clean;
    return out;
}

std::string jsonFrameKey(std::string_view fileName) {
    return validUtf8(fileName);
}

namespace {

// The file name without its extension; a leading dot starts a hidden file's
// name and is no extension.
std::string_view withoutExtension(std::string_view fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t base = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.rfind('.');
    if (dot != std::string_view::npos && dot > base) return fileName.substr(0, dot);
    return fileName;
}

bool isSeparator(char c) {
    return c == '_' || c == '-' || c == ' ';
}

}  // namespace

std::string gdxName(std::string_view name) {
    std::string out = validUtf8(name);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == ':') c = '_';
    }
    return out;
}

std::string gdxRegionName(std::string_view fileName) {
    return gdxName(withoutExtension(fileName));
}

std::optional<NumberedName> numberedName(std::string_view fileName) {
    const std::string_view stem = withoutExtension(fileName);
    std::size_t digits = 0;
    while (digits < stem.size() && stem[stem.size() - 1 - digits] >= '0' &&
           stem[stem.size() - 1 - digits] <= '9') {
        ++digits;
    }
    // Nine digits always fit 32 bits; the separator and a name must come before.
    if (digits == 0 || digits > 9 || digits + 2 > stem.size()) return std::nullopt;
    const std::size_t separator = stem.size() - digits - 1;
    if (!isSeparator(stem[separator]) || stem[separator - 1] == '/') return std::nullopt;
    std::uint32_t number = 0;
    for (const char c : stem.substr(separator + 1)) {
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return NumberedName{std::string(stem.substr(0, separator)), number};
}

std::vector<Animation> findAnimations(std::span<const SourceRectEntry> entries) {
    // By base: (number, name, entry index) of each numbered entry.
    std::map<std::string, std::vector<std::tuple<std::uint32_t, std::string_view, std::size_t>>>
        groups;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (auto numbered = numberedName(entries[i].name)) {
            groups[std::move(numbered->base)].emplace_back(numbered->number, entries[i].name, i);
        }
    }
    std::vector<Animation> animations;
    for (auto& [base, frames] : groups) {
        if (frames.size() < 2) continue;
        std::sort(frames.begin(), frames.end());
        Animation animation{base, {}};
        for (const auto& frame : frames) animation.frames.push_back(std::get<2>(frame));
        animations.push_back(std::move(animation));
    }
    return animations;
}

Borders scaledBorders(const Borders& borders, double scale) {
    if (scale == 1) return borders;
    const auto times = [scale](std::uint32_t border) {
        return static_cast<std::uint32_t>(std::floor(border * scale));
    };
    return Borders{times(borders.left), times(borders.top), times(borders.right),
                   times(borders.bottom)};
}

Borders bordersInFrame(const SourceRectEntry& entry, const Borders& given, double scale) {
    const Borders borders = scaledBorders(given, scale);
    const auto less = [](std::uint32_t border, std::int64_t margin) {
        return static_cast<std::uint32_t>(std::max<std::int64_t>(0, border - margin));
    };
    const std::int64_t rightMargin =
        std::int64_t{entry.originalSize.width} - entry.drawOffset.x - entry.uprightWidth();
    const std::int64_t bottomMargin =
        std::int64_t{entry.originalSize.height} - entry.drawOffset.y - entry.uprightHeight();
    return Borders{less(borders.left, entry.drawOffset.x), less(borders.top, entry.drawOffset.y),
                   less(borders.right, rightMargin), less(borders.bottom, bottomMargin)};
}

std::string xmlFrameName(std::string_view fileName) {
    const std::string valid = validUtf8(fileName);
    std::string out;
    out.reserve(valid.size());
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto c = static_cast<unsigned char>(valid[i]);
        // U+FFFE and U+FFFF are EF BF BE and EF BF BF.
        const bool nonCharacter = c == 0xEF && i + 2 < valid.size() &&
                                  static_cast<unsigned char>(valid[i + 1]) == 0xBF &&
                                  static_cast<unsigned char>(valid[i + 2]) >= 0xBE;
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || nonCharacter) {
            out += "\xEF\xBF\xBD";
            if (nonCharacter) i += 2;
        } else {
            out.push_back(valid[i]);
        }
    }
    return out;
}

std::string xmlEscaped(std::string_view text) {
    std::string out;
    for (const char c : xmlFrameName(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '\t':
                out += "&#9;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

}  // namespace tilvane
