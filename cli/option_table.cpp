#include "cli/option_table.h"

#include <array>
#include <charconv>

#include "model/path_helpers.h"

namespace tilvane {

namespace {

std::string number(std::uint32_t value) {
    return std::to_string(value);
}
std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}
std::string none(const JobSettings&) {
    return "none";
}
std::string off(const JobSettings&) {
    return "off";
}
// For the options that end the run before any setting matters.
std::string noDefault(const JobSettings&) {
    return {};
}

// A number option whose accepted values are lo..hi.
template <std::uint32_t lo, std::uint32_t hi>
std::optional<std::uint32_t> inRange(std::string_view text) {
    const auto value = parseUnsignedDecimal(text);
    if (!value || *value < lo || *value > hi) return std::nullopt;
    return value;
}

// Generates an apply function that stores an unsigned number in one field.
#define TILVANE_UNSIGNED_OPTION(field)          \
    [](PackRequest& r, std::string_view v) {    \
        const auto n = parseUnsignedDecimal(v); \
        if (n) r.settings.field = *n;           \
        return n.has_value();                   \
    },                                          \
        [](const JobSettings& d) { return number(d.field); }

#define TILVANE_INDEX_OPTION(field, lo, hi)                      \
    [](PackRequest& r, std::string_view v) {                     \
        const auto n = inRange<lo, hi>(v);                       \
        if (n) r.settings.field = static_cast<std::int32_t>(*n); \
        return n.has_value();                                    \
    },                                                           \
        [](const JobSettings& d) { return std::to_string(d.field); }

const std::array<PackOption, 29> kOptions = {{
    {"--settings", "FILE",
     "Read the settings from FILE (the settings-file format, a non-empty regular file) before "
     "the other options.",
     [](PackRequest& r, std::string_view v) {
         r.settingsFile = std::string(v);
         return true;
     },
     none, true},
    {"--input", "DIR", "Folder whose images are packed.",
     [](PackRequest& r, std::string_view v) {
         r.settings.inputFolder = ensureTrailingSlash(trimWhiteSpace(v));
         return true;
     },
     [](const JobSettings& d) { return d.inputFolder; }},
    {"--image", "FILE",
     "Atlas image file; its extension (.tif .png .jpg .bmp .rgb .tga) picks the format.",
     [](PackRequest& r, std::string_view v) {
         r.settings.outputImageFile = trimWhiteSpace(v);
         return true;
     },
     [](const JobSettings& d) { return d.outputImageFile; }},
    {"--text", "FILE",
     "Source-rect text file; .xml, .json and .css pick those formats, anything else plain "
     "text.",
     [](PackRequest& r, std::string_view v) {
         r.settings.outputTextFile = trimWhiteSpace(v);
         return true;
     },
     [](const JobSettings& d) { return d.outputTextFile; }},
    {"--width", "N", "Atlas width in pixels.", TILVANE_UNSIGNED_OPTION(outputWidth)},
    {"--height", "N", "Atlas height in pixels.", TILVANE_UNSIGNED_OPTION(outputHeight)},
    {"--border", "N", "Empty margin kept along the four edges of the atlas.",
     TILVANE_UNSIGNED_OPTION(borderSize)},
    {"--spacing", "N", "Gap kept to the right of and below each image.",
     TILVANE_UNSIGNED_OPTION(spacing)},
    {"--grid-x", "N", "Align horizontal positions and extents to multiples of N (2 or more).",
     TILVANE_UNSIGNED_OPTION(gridAlignX)},
    {"--grid-y", "N", "Align vertical positions and extents to multiples of N (2 or more).",
     TILVANE_UNSIGNED_OPTION(gridAlignY)},
    {"--rect-style", "0..4",
     "Rectangle style of the text file: 0 x y width height, 1 x, y, width, height, "
     "2 left top right bottom, 3 left, top, right, bottom, 4 {u1, v1, u2, v2}.",
     TILVANE_INDEX_OPTION(textFormat, 0, 4)},
    {"--prefix", "S", "Text written before each entry name.",
     [](PackRequest& r, std::string_view v) {
         r.settings.namePrefix = std::string(v);
         return true;
     },
     [](const JobSettings& d) { return quoted(d.namePrefix); }},
    {"--postfix", "S", "Text written after each entry name.",
     [](PackRequest& r, std::string_view v) {
         r.settings.namePostfix = std::string(v);
         return true;
     },
     [](const JobSettings& d) { return quoted(d.namePostfix); }},
    {"--tab-size", "N", "Indent JSON, XML and CSS with N spaces per level instead of a tab.",
     [](PackRequest& r, std::string_view v) {
         const auto n = parseUnsignedDecimal(v);
         if (!n) return false;
         r.settings.convertTabs = 1;
         r.settings.tabSize = *n;
         return true;
     },
     [](const JobSettings&) { return std::string("tabs"); }},
    {"--case", "0..3",
     "Case of the entry names: 0 as they are, 1 upper case, 2 lower case, 3 names upper "
     "case but prefix and postfix as typed.",
     TILVANE_INDEX_OPTION(changeCase, 0, 3)},
    {"--css-url-prefix", "S", "Text placed before the image file name in the CSS url.",
     [](PackRequest& r, std::string_view v) {
         r.settings.cssUrlPrefix = std::string(v);
         return true;
     },
     [](const JobSettings& d) { return quoted(d.cssUrlPrefix); }},
    {"--crop", "0..2",
     "Trim transparent margins: 0 no, 1 yes, 2 crop all to the same dimension (all images "
     "must have one size).",
     TILVANE_INDEX_OPTION(cropMode, 0, 2)},
    {"--crop-alpha", "N", "Pixels with this alpha or less count as empty when trimming (0..255).",
     TILVANE_UNSIGNED_OPTION(cropAlpha)},
    {"--mask", "", "Also write a mask image (\"_mask\" before the extension).",
     [](PackRequest& r, std::string_view) {
         r.settings.createMask = 1;
         return true;
     },
     [](const JobSettings& d) { return std::string(d.createMask ? "on" : "off"); }},
    {"--no-mask", "", "Do not write a mask image.",
     [](PackRequest& r, std::string_view) {
         r.settings.createMask = 0;
         return true;
     },
     [](const JobSettings& d) { return std::string(d.createMask ? "off" : "on"); }},
    {"--sort", "name|size|random",
     "Order of placement: by name, largest trimmed area first, or at random from --seed.",
     [](PackRequest& r, std::string_view v) {
         constexpr std::array<std::string_view, 3> kNames = {"name", "size", "random"};
         for (std::size_t i = 0; i < kNames.size(); ++i) {
             if (v == kNames[i]) {
                 r.settings.sortOrder = static_cast<std::int32_t>(i);
                 return true;
             }
         }
         return false;
     },
     [](const JobSettings& d) {
         return std::string(d.sortOrder == 0 ? "name" : d.sortOrder == 2 ? "random" : "size");
     }},
    {"--seed", "N", "Seed of the random order.", TILVANE_UNSIGNED_OPTION(randomSeed)},
    {"--jpeg-quality", "N", "Quality of JPEG output, 0..100.",
     TILVANE_INDEX_OPTION(jpegQuality, 0, 100)},
    {"--tiff-compression", "0|9|13", "Compression of TIFF output: 0 none, 9 PackBits, 13 Deflate.",
     [](PackRequest& r, std::string_view v) {
         const auto n = parseUnsignedDecimal(v);
         if (!n || (*n != 0 && *n != 9 && *n != 13)) return false;
         r.settings.tiffCompression = static_cast<std::int32_t>(*n);
         return true;
     },
     [](const JobSettings& d) { return std::to_string(d.tiffCompression); }},
    {"--save-settings", "FILE",
     "Write the resulting settings to FILE, then build; nothing is built when FILE cannot be "
     "written.",
     [](PackRequest& r, std::string_view v) {
         r.saveSettingsFile = std::string(v);
         return true;
     },
     none},
    {"--quiet", "", "Show no progress.",
     [](PackRequest& r, std::string_view) {
         r.quiet = true;
         return true;
     },
     off},
    {"--timings", "", "Print the time spent scanning, placing, drawing and saving.",
     [](PackRequest& r, std::string_view) {
         r.timings = true;
         return true;
     },
     off},
    {"--help", "", "Show this help and exit.",
     [](PackRequest& r, std::string_view) {
         r.help = true;
         return true;
     },
     noDefault},
    {"--version", "", "Show the version and exit.",
     [](PackRequest& r, std::string_view) {
         r.version = true;
         return true;
     },
     noDefault},
}};

#undef TILVANE_UNSIGNED_OPTION
#undef TILVANE_INDEX_OPTION

// Words laid into lines of at most `width` columns, every line after the
// first indented to `column` (the first starts there already).
std::string wrapped(const std::string& text, std::size_t column, std::size_t width) {
    std::string result;
    std::size_t used = column;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (used > column && used + 1 + word.size() > width) {
            result += "\n" + std::string(column, ' ');
            used = column;
        }
        if (used > column) {
            result += ' ';
            ++used;
        }
        result += word;
        used += word.size();
        start = end + 1;
    }
    return result + "\n";
}

}  // namespace

std::span<const PackOption> packOptions() {
    return kOptions;
}

std::optional<std::uint32_t> parseUnsignedDecimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string packHelpText() {
    const JobSettings defaults = defaultJobSettings();
    std::string text =
        "Usage: tilvane-pack [OPTIONS]\n"
        "\n"
        "Packs the images of a folder into one atlas image and writes a text file that says\n"
        "where each image lies (plain text, JSON, XML or CSS).\n"
        "\n"
        "Options:\n";
    constexpr std::size_t kColumn = 30;
    constexpr std::size_t kWidth = 100;
    for (const PackOption& option : packOptions()) {
        std::string head = "  " + std::string(option.name);
        if (!option.valueName.empty()) head += " " + std::string(option.valueName);
        if (head.size() + 2 > kColumn) {
            text += head + "\n" + std::string(kColumn, ' ');
        } else {
            text += head + std::string(kColumn - head.size(), ' ');
        }
        std::string meaning(option.meaning);
        const std::string defaultText = option.defaultText(defaults);
        if (!defaultText.empty()) meaning += " (default: " + defaultText + ")";
        text += wrapped(meaning, kColumn, kWidth);
    }
    text +=
        "\n"
        "Exit status: 0 done; 1 done, some files failed; 2 usage error or settings refused;\n"
        "3 a file could not be saved (the image, the mask, the text file or --save-settings);\n"
        "4 no files found or none usable.\n";
    return text;
}

}  // namespace tilvane
