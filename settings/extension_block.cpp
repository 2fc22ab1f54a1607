#include "settings/extension_block.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tilvane {

namespace {

constexpr char kTag[4] = {'T', 'L', 'V', 'X'};

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isUtf8(const unsigned char* p, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = p[i];
        std::size_t extra = 0;
        std::uint32_t least = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, least = 0x80, code = c & 0x1Fu;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, least = 0x800, code = c & 0x0Fu;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, least = 0x10000, code = c & 0x07u;
        } else {
            return false;
        }
        if (size - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            code = code << 6 | (p[i + k] & 0x3Fu);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

bool isKey(const std::string& key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

void putLittleEndian(std::string& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(v >> shift));
}

}  // namespace

SettingsExtensions decodeExtensionBlock(const unsigned char* bytes, std::size_t size) {
    SettingsExtensions read;
    if (size == 0) return read;
    if (size < kExtensionHeaderSize || std::memcmp(bytes, kTag, sizeof kTag) != 0) {
        read.problem = "the bytes after the settings are not an extension block";
        return read;
    }
    const std::uint32_t length =
        static_cast<std::uint32_t>(bytes[4]) | static_cast<std::uint32_t>(bytes[5]) << 8 |
        static_cast<std::uint32_t>(bytes[6]) << 16 | static_cast<std::uint32_t>(bytes[7]) << 24;
    if (length > kMaxExtensionPayload || length > size - kExtensionHeaderSize) {
        read.problem = "the extension block's length runs past the end of the file";
        return read;
    }
    const unsigned char* payload = bytes + kExtensionHeaderSize;
    if (!isUtf8(payload, length)) {
        read.problem = "the extension block is not valid UTF-8";
        return read;
    }
    const std::string text(reinterpret_cast<const char*>(payload), length);
    std::vector<ExtensionEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t equals = text.find('=', start);
        if (end == std::string::npos || equals == std::string::npos || equals > end) {
            read.problem = "the extension block has a line that is not key=value";
            return read;
        }
        ExtensionEntry entry{text.substr(start, equals - start),
                             text.substr(equals + 1, end - equals - 1)};
        if (!isKey(entry.key) || entry.value.find('\0') != std::string::npos) {
            read.problem = "the extension block has a line that is not key=value";
            return read;
        }
        const auto same = std::find_if(entries.begin(), entries.end(),
                                       [&](const auto& e) { return e.key == entry.key; });
        if (same != entries.end()) {
            same->value = std::move(entry.value);
        } else {
            entries.push_back(std::move(entry));
        }
        start = end + 1;
    }
    read.entries = std::move(entries);
    return read;
}

std::optional<std::string> extensionBlockProblem(const std::vector<ExtensionEntry>& entries) {
    std::size_t length = 0;
    for (const ExtensionEntry& entry : entries) {
        if (!isKey(entry.key)) return "\"" + entry.key + "\" is not an option name";
        if (entry.value.find_first_of(std::string("\n\0", 2)) != std::string::npos) {
            return "the value of " + entry.key + " holds a line break or a NUL";
        }
        if (!isUtf8(reinterpret_cast<const unsigned char*>(entry.value.data()),
                    entry.value.size())) {
            return "the value of " + entry.key + " is not valid UTF-8";
        }
        length += entry.key.size() + entry.value.size() + 2;
    }
    if (length > kMaxExtensionPayload) {
        return "the options beyond the dialog's take " + std::to_string(length) +
               " bytes; the settings file holds at most " + std::to_string(kMaxExtensionPayload);
    }
    return std::nullopt;
}

std::string encodeExtensionBlock(const std::vector<ExtensionEntry>& entries) {
    if (entries.empty() || extensionBlockProblem(entries)) return {};
    std::string payload;
    for (const ExtensionEntry& entry : entries) {
        payload.append(entry.key).append("=").append(entry.value).append("\n");
    }
    std::string block(kTag, sizeof kTag);
    putLittleEndian(block, static_cast<std::uint32_t>(payload.size()));
    return block + payload;
}

}  // namespace tilvane
