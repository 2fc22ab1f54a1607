#include <cstdint>

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

std::string gdxRegionName(std::string_view fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t base = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.rfind('.');
    // A leading dot starts a hidden file's name; it is not an extension.
    if (dot != std::string_view::npos && dot > base) fileName = fileName.substr(0, dot);
    std::string name = validUtf8(fileName);
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == ':') c = '_';
    }
    return name;
}

}  // namespace tilvane
