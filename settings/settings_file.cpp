#include "settings/settings_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "image/output_file.h"

namespace tilvane {

namespace {

// One stored field: exactly one of the three member pointers is set; a text
// has the name messages give it.
struct Field {
    std::string JobSettings::*text = nullptr;
    std::uint32_t JobSettings::*unsignedValue = nullptr;
    std::int32_t JobSettings::*signedValue = nullptr;
    const char* name = nullptr;

    std::size_t size() const { return text ? kSettingsTextBlock : 4; }
};

constexpr Field text(std::string JobSettings::*m, const char* name) {
    return Field{m, nullptr, nullptr, name};
}
constexpr Field u32(std::uint32_t JobSettings::*m) {
    return Field{nullptr, m, nullptr};
}
constexpr Field s32(std::int32_t JobSettings::*m) {
    return Field{nullptr, nullptr, m};
}

// The file's field order; offsets follow from the sizes.
const std::array<Field, 28> kFields = {
    text(&JobSettings::inputFolder, "the input folder"),
    text(&JobSettings::outputImageFile, "the output image path"),
    text(&JobSettings::outputTextFile, "the output text path"),
    text(&JobSettings::namePrefix, "the name prefix"),
    text(&JobSettings::namePostfix, "the name postfix"),
    u32(&JobSettings::outputWidth),
    u32(&JobSettings::outputHeight),
    u32(&JobSettings::borderSize),
    u32(&JobSettings::spacing),
    s32(&JobSettings::textFormat),
    s32(&JobSettings::sortOrder),
    u32(&JobSettings::randomSeed),
    text(&JobSettings::imageBrowsePath, "the image browse path"),
    text(&JobSettings::textBrowsePath, "the text browse path"),
    u32(&JobSettings::gridAlignX),
    u32(&JobSettings::gridAlignY),
    s32(&JobSettings::cropMode),
    u32(&JobSettings::cropAlpha),
    s32(&JobSettings::convertTabs),
    u32(&JobSettings::tabSize),
    s32(&JobSettings::textBrowseTypeIndex),
    text(&JobSettings::saveSettingsPath, "the Save Settings path"),
    text(&JobSettings::loadSettingsPath, "the Load Settings path"),
    s32(&JobSettings::jpegQuality),
    s32(&JobSettings::tiffCompression),
    s32(&JobSettings::createMask),
    s32(&JobSettings::changeCase),
    text(&JobSettings::cssUrlPrefix, "the CSS url prefix"),
};

void putLittleEndian(unsigned char* out, std::uint32_t v) {
    out[0] = static_cast<unsigned char>(v);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v >> 16);
    out[3] = static_cast<unsigned char>(v >> 24);
}

std::uint32_t getLittleEndian(const unsigned char* in) {
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string encodeSettings(const JobSettings& settings,
                           const std::vector<ExtensionEntry>& extensions) {
    std::string bytes(kSettingsFileSize, '\0');
    auto* out = reinterpret_cast<unsigned char*>(bytes.data());
    std::size_t offset = 0;
    for (const Field& field : kFields) {
        if (field.text) {
            const std::string& value = settings.*field.text;
            // Byte 2047 stays zero, so a longer text keeps its first 2047 bytes.
            std::memcpy(out + offset, value.data(), std::min(value.size(), kSettingsTextBlock - 1));
        } else if (field.unsignedValue) {
            putLittleEndian(out + offset, settings.*field.unsignedValue);
        } else {
            putLittleEndian(out + offset, static_cast<std::uint32_t>(settings.*field.signedValue));
        }
        offset += field.size();
    }
    return bytes + encodeExtensionBlock(extensions);
}

std::optional<std::string> fieldTooLong(const JobSettings& settings) {
    for (const Field& field : kFields) {
        if (!field.text || (settings.*field.text).size() < kSettingsTextBlock) continue;
        std::string why = field.name;
        why.append(" is ")
            .append(std::to_string((settings.*field.text).size()))
            .append(" bytes; the settings file holds at most ")
            .append(std::to_string(kSettingsTextBlock - 1));
        return why;
    }
    return std::nullopt;
}

void decodeSettings(JobSettings& settings, const unsigned char* bytes, std::size_t size,
                    SettingsExtensions* extensions) {
    if (extensions) {
        *extensions = size > kSettingsFileSize ? decodeExtensionBlock(bytes + kSettingsFileSize,
                                                                      size - kSettingsFileSize)
                                               : SettingsExtensions{};
    }
    std::size_t offset = 0;
    for (const Field& field : kFields) {
        // A field cut short by the end of the file keeps its value: half a path
        // or half an integer is never a value the user chose.
        if (size < offset || size - offset < field.size()) return;
        const unsigned char* in = bytes + offset;
        if (field.text) {
            const void* zero = std::memchr(in, 0, kSettingsTextBlock);
            const std::size_t length =
                zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - in)
                     : kSettingsTextBlock;
            (settings.*field.text).assign(reinterpret_cast<const char*>(in), length);
        } else if (field.unsignedValue) {
            settings.*field.unsignedValue = getLittleEndian(in);
        } else {
            settings.*field.signedValue = static_cast<std::int32_t>(getLittleEndian(in));
        }
        offset += field.size();
    }
}

void loadSettingsFile(JobSettings& settings, const std::string& path,
                      SettingsExtensions* extensions) {
    if (extensions) *extensions = {};
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return;
    // No more than the fields and the largest block is ever read.
    std::vector<unsigned char> bytes(
        kSettingsFileSize + (extensions ? kExtensionHeaderSize + kMaxExtensionPayload : 0));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    decodeSettings(settings, bytes.data(), got, extensions);
}

bool saveSettingsFile(const JobSettings& settings, const std::string& path, int* error,
                      const std::vector<ExtensionEntry>& extensions) {
    const std::string bytes = encodeSettings(settings, extensions);
    const int cause = writeOutputFile(path, bytes.data(), bytes.size());
    if (cause != 0 && error) *error = cause;
    return cause == 0;
}

std::string settingsFileIn(const std::string& folder) {
    return folder + "Settings.cfg";
}

std::optional<std::string> notASettingsFile(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::string("it cannot be read: ") + std::strerror(errno);
    std::array<unsigned char, kSettingsFileSize> bytes{};
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (got < kSettingsFileSize) {
        return "it holds " + std::to_string(got) + " bytes; a settings file holds " +
               std::to_string(kSettingsFileSize);
    }
    std::size_t offset = 0;
    for (const Field& field : kFields) {
        offset += field.size();
        if (field.text && bytes[offset - 1] != 0) {
            return std::string("its field for ") + field.name + " does not end in a zero byte";
        }
    }
    return std::nullopt;
}

}  // namespace tilvane
