#include "settings/extension_options.h"

#include <algorithm>

#include "model/number_text.h"
#include "model/path_helpers.h"
#include "model/scale_variants.h"
#include "model/sprite_values.h"
#include "settings/settings_file.h"

namespace tilvane {

namespace {

std::string choiceNames(const std::vector<OptionChoice>& choices) {
    std::string names;
    for (const OptionChoice& choice : choices) {
        if (choice.value.empty()) continue;
        names += (names.empty() ? "" : "|") + choice.value;
    }
    return names;
}

// A flag's value: "1" or "0" (the settings file), as the command line means it.
std::optional<bool> flagValue(const std::string& text) {
    if (text == "1") return true;
    if (text == "0") return false;
    return std::nullopt;
}

// A flag stored in a bool of the job; `field` gives it from a job, const or not.
template <typename Field>
ExtensionOption flagOption(std::string key, std::string label, std::string meaning, Field field) {
    ExtensionOption row;
    row.key = std::move(key);
    row.kind = OptionKind::flag;
    row.label = std::move(label);
    row.meaning = std::move(meaning);
    row.defaultText = "off";
    row.read = [field](const std::string& text, JobSpec& jobSpec) -> std::optional<std::string> {
        const std::optional<bool> on = flagValue(text);
        if (!on) return std::string("not 1 or 0");
        field(jobSpec) = *on;
        return std::nullopt;
    };
    row.write = [field](const JobSpec& jobSpec) {
        return field(jobSpec) ? std::string("1") : std::string("0");
    };
    return row;
}

// An unsigned number within [least, most] stored in a uint32 of the job.
template <typename Field>
ExtensionOption numberOption(std::string key, std::string label, std::string meaning,
                             std::uint32_t least, std::uint32_t most, Field field) {
    ExtensionOption row;
    row.key = std::move(key);
    row.kind = OptionKind::number;
    row.valueName.assign(1, 'N');  // not = "N": g++ 12 warns -Wrestrict at -O3
    row.label = std::move(label);
    row.meaning = std::move(meaning);
    row.least = least;
    row.most = most;
    row.read = [field, least, most](const std::string& text,
                                    JobSpec& jobSpec) -> std::optional<std::string> {
        const std::optional<std::uint32_t> value = parseUnsignedDecimal(text);
        if (!value) return std::string("not an unsigned decimal number");
        if (*value < least || *value > most) {
            return "not within " + std::to_string(least) + ".." + std::to_string(most);
        }
        field(jobSpec) = *value;
        return std::nullopt;
    };
    row.write = [field](const JobSpec& jobSpec) { return std::to_string(field(jobSpec)); };
    row.defaultText = row.write(JobSpec{});
    return row;
}

// One of the choices; `set` stores the index of the choice taken, `get` gives
// the index of the job's value.
ExtensionOption choiceOption(std::string key, std::string label, std::string meaning,
                             std::vector<OptionChoice> choices,
                             std::function<void(JobSpec&, std::size_t)> set,
                             std::function<std::size_t(const JobSpec&)> get) {
    ExtensionOption row;
    row.key = std::move(key);
    row.kind = OptionKind::choice;
    row.valueName = choiceNames(choices);
    row.label = std::move(label);
    row.meaning = std::move(meaning);
    row.choices = std::move(choices);
    row.read = [names = row.valueName, values = row.choices, set](
                   const std::string& text, JobSpec& jobSpec) -> std::optional<std::string> {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i].value != text) continue;
            set(jobSpec, i);
            return std::nullopt;
        }
        return "not one of " + names;
    };
    row.write = [values = row.choices, get](const JobSpec& jobSpec) {
        const std::size_t i = get(jobSpec);
        return i < values.size() ? values[i].value : std::string();
    };
    const std::string fallback = row.write(JobSpec{});
    row.defaultText = fallback.empty() ? "off" : fallback;
    return row;
}

// A value of one line that `read` checks and stores; not given by default.
ExtensionOption checkedTextOption(
    std::string key, std::string valueName, std::string label, std::string meaning,
    std::function<std::optional<std::string>(const std::string&, JobSpec&)> read,
    std::function<std::string(const JobSpec&)> write) {
    ExtensionOption row;
    row.key = std::move(key);
    row.kind = OptionKind::text;
    row.valueName = std::move(valueName);
    row.label = std::move(label);
    row.meaning = std::move(meaning);
    row.defaultText = "none";
    row.read = std::move(read);
    row.write = std::move(write);
    return row;
}

// A path stored in a string of the job; blanks alone name nothing, a line
// break cannot be kept in the settings file, and the default (empty) is no file.
template <typename Field>
ExtensionOption textOption(std::string key, std::string valueName, std::string label,
                           std::string meaning, Field field) {
    ExtensionOption row;
    row.key = std::move(key);
    row.kind = OptionKind::text;
    row.valueName = std::move(valueName);
    row.label = std::move(label);
    row.meaning = std::move(meaning);
    row.read = [field](const std::string& text, JobSpec& jobSpec) -> std::optional<std::string> {
        if (text.find_first_not_of(" \t\n\v\f\r") == std::string::npos) {
            return std::string("it names no file");
        }
        // The settings file keeps an option a line.
        if (text.find_first_of("\n\r") != std::string::npos) {
            return std::string("it holds a line break");
        }
        field(jobSpec) = text;
        return std::nullopt;
    };
    row.write = [field](const JobSpec& jobSpec) { return field(jobSpec); };
    return row;
}

// Lossless unless given, so no value is its default: written as none, and an
// empty value read (the dialog's "lossless") clears it.
ExtensionOption webpQualityOption() {
    ExtensionOption row;
    row.key = "webp-quality";
    row.kind = OptionKind::number;
    row.valueName.assign(1, 'N');
    row.label = "WebP &quality:";
    row.meaning =
        "Write a .webp atlas lossy at quality N (0..100); without it a .webp atlas is lossless, "
        "every pixel kept.";
    row.defaultText = "lossless";
    row.least = 0;
    row.most = 100;
    row.read = [](const std::string& text, JobSpec& jobSpec) -> std::optional<std::string> {
        if (text.empty()) {
            jobSpec.extras.webpQuality.reset();
            return std::nullopt;
        }
        const std::optional<std::uint32_t> value = parseUnsignedDecimal(text);
        if (!value) return std::string("not an unsigned decimal number");
        if (*value > 100) return std::string("not within 0..100");
        jobSpec.extras.webpQuality = *value;
        return std::nullopt;
    };
    row.write = [](const JobSpec& jobSpec) {
        const auto& quality = jobSpec.extras.webpQuality;
        return quality ? std::to_string(*quality) : std::string();
    };
    return row;
}

std::vector<ExtensionOption> makeTable() {
    std::vector<ExtensionOption> rows;
    // In the order of FitShape, after the fixed size.
    rows.push_back(choiceOption(
        "fit", "Atlas si&ze:",
        "Choose the atlas size: the smallest that holds every image (smallest area, then the "
        "squarer, then the narrower); pot makes both sides powers of two, square makes them "
        "equal. --width and --height become the maximum (8192 unless given; a settings file "
        "that sets fit gives them).",
        {{"", "Fixed: width × height"},
         {"any", "Smallest"},
         {"pot", "Smallest, power of two"},
         {"square", "Smallest square"},
         {"pot-square", "Smallest power-of-two square"}},
        [](JobSpec& j, std::size_t i) {
            j.sizing.fit =
                i == 0 ? std::nullopt : std::optional<FitShape>(static_cast<FitShape>(i - 1));
        },
        [](const JobSpec& j) {
            return j.sizing.fit ? static_cast<std::size_t>(*j.sizing.fit) + 1 : std::size_t{0};
        }));
    rows.back().defaultText = "off";
    rows.push_back(numberOption(
        "min-width", "Least wi&dth:", "With --fit, the least width it may choose.", 0, 0xFFFFFFFFu,
        [](auto& j) -> auto& { return j.sizing.minWidth; }));
    rows.push_back(numberOption(
        "min-height", "Least heigh&t:", "With --fit, the least height it may choose.", 0,
        0xFFFFFFFFu, [](auto& j) -> auto& { return j.sizing.minHeight; }));
    rows.push_back(flagOption(
        "pages", "More &pages when the images do not fit",
        "When the images do not all fit, put the rest into more atlases: atlas-1.png, "
        "atlas-2.png, ... each with its own text file (and mask).",
        [](auto& j) -> auto& { return j.sizing.pages; }));
    rows.push_back(choiceOption(
        "format", "Data &format:",
        "Write the text file as a JSON hash (PixiJS and Phaser load it), a JSON array (Phaser "
        "loads it; PixiJS would key its frames 0, 1, ...), a libGDX .atlas, Phaser 3's "
        "multi-atlas JSON (one file for every page), Starling/Sparrow XML (also Phaser's "
        "atlasXML) or a Cocos2d-x .plist, keyed by the path relative to --input.",
        // In the order of DataFormat.
        {{"", "By the text file's extension"},
         {"hash", "JSON hash"},
         {"array", "JSON array"},
         {"gdx", "libGDX atlas"},
         {"phaser-multi", "Phaser multi-atlas"},
         {"starling", "Starling XML"},
         {"cocos", "Cocos2d-x plist"}},
        [](JobSpec& j, std::size_t i) { j.extras.format = static_cast<DataFormat>(i); },
        [](const JobSpec& j) { return static_cast<std::size_t>(j.extras.format); }));
    rows.back().defaultText = "by the --text extension";
    rows.push_back(flagOption(
        "animations", "&Animations from numbered names",
        "Images whose names end in a number (walk_01, walk-2, walk 003) form an animation named "
        "by what comes before: \"animations\" in the JSON hash and array, index N in the "
        "libGDX atlas.",
        [](auto& j) -> auto& { return j.extras.animations; }));
    rows.push_back(checkedTextOption(
        "pivot", "X,Y", "P&ivot (X,Y):",
        "The pivot of every image, as fractions of its source size (0.5,1 is the middle of the "
        "bottom edge); written for the engine formats.",
        [](const std::string& text, JobSpec& j) -> std::optional<std::string> {
            const std::optional<Pivot> pivot = parsePivotText(text);
            if (!pivot) return std::string("give two numbers X,Y within -1000..1000");
            j.extras.pivot = pivot;
            return std::nullopt;
        },
        [](const JobSpec& j) { return j.extras.pivot ? pivotText(*j.extras.pivot) : ""; }));
    rows.push_back(textOption(
        "sprite-data", "FILE", "Sp&rite data file:",
        "A JSON file of per-image values for the engine formats: {\"walk_01.png\": {\"pivot\": "
        "[x, y], \"borders\": [left, top, right, bottom]}}, keyed by the path relative to "
        "--input; its pivots win over --pivot.",
        [](auto& j) -> auto& { return j.extras.spriteDataFile; }));
    rows.back().defaultText = "none";
    rows.push_back(flagOption(
        "recursive", "Include sub-&folders",
        "Also pack the images of sub-folders (symbolic links to folders "
        "are not followed); names keep the folder path.",
        [](auto& j) -> auto& { return j.extras.recursive; }));
    rows.push_back(numberOption(
        "extrude", "E&xtrude:",
        "Repeat each image's edge pixels N pixels outward, so texture "
        "filtering never samples a neighbour; the footprint grows by 2N.",
        0, 1024, [](auto& j) -> auto& { return j.extras.extrude; }));
    rows.push_back(flagOption(
        "alias", "Store identical images &once",
        "Store images with identical trimmed pixels once; every name gets "
        "the same rectangle.",
        [](auto& j) -> auto& { return j.extras.alias; }));
    // In the order of Packer.
    rows.push_back(choiceOption(
        "packer", "Pac&ker:",
        "How images find their places: first-fit places each at the first free position, row "
        "by row, in the --sort order; maxrects packs each atlas at once, trying several orders "
        "and heuristics, and keeps the densest.",
        {{"first-fit", "First fit, row by row"}, {"maxrects", "Maximal rectangles (denser)"}},
        [](JobSpec& j, std::size_t i) { j.extras.packer = static_cast<Packer>(i); },
        [](const JobSpec& j) { return static_cast<std::size_t>(j.extras.packer); }));
    rows.push_back(flagOption(
        "rotate", "T&urn images where that packs tighter",
        "Let --packer maxrects turn an image a quarter turn where that packs tighter; needs "
        "--format hash, array or gdx, which record it.",
        [](auto& j) -> auto& { return j.extras.rotate; }));
    rows.push_back(flagOption(
        "bleed", "&Bleed colour into clear pixels",
        "Give each image's transparent pixels the colour of the nearest non-transparent pixel "
        "(alpha stays 0), so filtering never darkens an edge.",
        [](auto& j) -> auto& { return j.extras.bleed; }));
    rows.push_back(flagOption(
        "premultiply", "Pre&multiply alpha",
        "Write every colour multiplied by its alpha (rounded to the nearest); the JSON hash and "
        "array say so in meta.premultipliedAlpha.",
        [](auto& j) -> auto& { return j.extras.premultiply; }));
    rows.push_back(flagOption(
        "verify", "&Verify the written atlas",
        "Once the outputs are written, read each atlas back and check every entry's pixels (and "
        "extrusion ring) against its source; a difference names the image and the first "
        "differing pixel, and the run exits with status 1.",
        [](auto& j) -> auto& { return j.extras.verify; }));
    rows.push_back(textOption(
        "keep-layout", "FILE", "&Keep the layout in:",
        "Keep the layout recorded in FILE (JSON): images whose footprint did not change stay "
        "where they were, new or grown ones go into free room, and the whole atlas is repacked "
        "only when they do not fit. FILE is written with the outputs.",
        [](auto& j) -> auto& { return j.extras.keepLayoutFile; }));
    // In the order of PngCompression.
    rows.push_back(choiceOption(
        "png-compression", "PNG co&mpression:",
        "Compression of PNG output: fast, default or small (the smallest file, several times "
        "slower); the pixels are the same.",
        {{"fast", "Fast"}, {"default", "Default"}, {"small", "Smallest file"}},
        [](JobSpec& j, std::size_t i) {
            j.settings.pngCompression = i == 0   ? PngCompression::fast
                                        : i == 1 ? PngCompression::standard
                                                 : PngCompression::small;
        },
        [](const JobSpec& j) {
            switch (j.settings.pngCompression) {
                case PngCompression::fast:
                    return std::size_t{0};
                case PngCompression::standard:
                    return std::size_t{1};
                case PngCompression::small:
                    return std::size_t{2};
            }
            return std::size_t{1};
        }));
    rows.push_back(webpQualityOption());
    rows.push_back(textOption(
        "depfile", "FILE", "&Depfile:",
        "Also write a Make/Ninja dependency file: the outputs as targets, every image read, the "
        "folders searched and the --settings file as prerequisites; written with the outputs, "
        "only when they are.",
        [](auto& j) -> auto& { return j.depfile.path; }));
    rows.back().defaultText = "none";
    ExtensionOption scale;
    scale.key = "scale";
    scale.kind = OptionKind::text;
    scale.valueName.assign(1, 'S');
    scale.label = "Scal&e:";
    scale.meaning =
        "Scale every image by S before trimming and placing it (resampled in premultiplied "
        "alpha; 1 keeps the pixels as they are); the JSON hash and array say S in meta.scale.";
    scale.read = [](const std::string& text, JobSpec& j) -> std::optional<std::string> {
        const std::optional<double> value = parseDecimalFraction(text);
        if (!value) return std::string("a scale is a decimal number such as 0.5");
        if (auto why = scaleRefusal(*value)) return why;
        j.extras.scale = *value;
        return std::nullopt;
    };
    scale.write = [](const JobSpec& j) { return decimalText(j.extras.scale); };
    scale.defaultText = "1";
    rows.push_back(std::move(scale));
    ExtensionOption variant;
    variant.key = "variant";
    variant.kind = OptionKind::text;
    variant.valueName = "SUFFIX:S";
    variant.label = "Scale &variants:";
    variant.meaning =
        "Also make the atlas at another scale, from the same scan: its files get SUFFIX before "
        "the extension (atlas@2x.png, atlas@2x.json, their mask and pages), each atlas placed "
        "and sized for its own images. Give it once per atlas (--variant @2x:1 --variant "
        "@1x:0.5; in the settings file and the dialog, @2x:1,@1x:0.5); not with --scale.";
    variant.repeatable = true;
    variant.read = [](const std::string& text, JobSpec& j) {
        return readScaleVariants(text, j.extras.variants);
    };
    variant.write = [](const JobSpec& j) { return scaleVariantsText(j.extras.variants); };
    variant.defaultText = "none";
    rows.push_back(std::move(variant));
    return rows;
}

}  // namespace

const std::vector<ExtensionOption>& extensionOptions() {
    static const std::vector<ExtensionOption> table = makeTable();
    return table;
}

const ExtensionOption* findExtensionOption(std::string_view key) {
    for (const ExtensionOption& row : extensionOptions()) {
        if (row.key == key) return &row;
    }
    return nullptr;
}

std::vector<ExtensionEntry> extensionEntriesOf(const JobSpec& jobSpec) {
    const JobSpec defaults;
    std::vector<ExtensionEntry> entries;
    for (const ExtensionOption& row : extensionOptions()) {
        std::string value = row.write(jobSpec);
        if (value != row.write(defaults)) entries.push_back({row.key, std::move(value)});
    }
    entries.insert(entries.end(), jobSpec.keptExtensions.begin(), jobSpec.keptExtensions.end());
    return entries;
}

std::vector<std::string> applyExtensionEntries(const std::vector<ExtensionEntry>& entries,
                                               JobSpec& jobSpec) {
    std::vector<std::string> problems;
    for (const ExtensionEntry& entry : entries) {
        const ExtensionOption* row = findExtensionOption(entry.key);
        if (!row) {
            auto& kept = jobSpec.keptExtensions;
            const auto same = std::find_if(kept.begin(), kept.end(),
                                           [&](const auto& k) { return k.key == entry.key; });
            if (same != kept.end()) {
                same->value = entry.value;
            } else {
                kept.push_back(entry);
            }
            continue;
        }
        if (const auto why = row->read(entry.value, jobSpec)) {
            problems.push_back(entry.key + "=" + entry.value + ": " + *why);
        }
    }
    return problems;
}

std::string settingsFileBytes(const JobSpec& jobSpec) {
    return encodeSettings(jobSpec.settings, extensionEntriesOf(jobSpec));
}

}  // namespace tilvane
