#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image/png_compression.h"
#include "model/choice_tables.h"

namespace tilvane {

struct BuildRun;

// Every option that drives a build, the remembered browsing state, and the last
// choices of the save-options dialogs. Member initialisers hold the defaults
// that do not depend on the platform; defaultJobSettings() adds the paths.
struct JobSettings {
    std::string inputFolder;
    std::string outputImageFile;
    std::string outputTextFile;
    std::uint32_t outputWidth = 512;
    std::uint32_t outputHeight = 512;
    std::uint32_t borderSize = 1;
    std::uint32_t spacing = 1;
    std::uint32_t gridAlignX = 0;
    std::uint32_t gridAlignY = 0;
    std::int32_t textFormat = 0;
    std::string namePrefix;
    std::string namePostfix;
    std::int32_t convertTabs = 0;
    std::uint32_t tabSize = 4;
    std::int32_t changeCase = 0;
    std::string cssUrlPrefix = "imgs/";
    std::int32_t cropMode = 0;
    std::uint32_t cropAlpha = 0;
    std::int32_t createMask = 1;
    std::int32_t sortOrder = 1;
    std::uint32_t randomSeed = 0;
    std::int32_t jpegQuality = 100;
    std::int32_t tiffCompression = 0;
    // Set by tilvane-pack's --png-compression only; the settings file does not
    // hold it, so the dialog always writes standard.
    PngCompression pngCompression = PngCompression::standard;

    // Remembered browsing state.
    std::string imageBrowsePath;
    std::string textBrowsePath;
    std::int32_t imageBrowseTypeIndex = 1;
    std::int32_t textBrowseTypeIndex = 0;
    std::string saveSettingsPath;
    std::string loadSettingsPath;

    friend bool operator==(const JobSettings&, const JobSettings&) = default;
};

// The user's home folder ($HOME, else the password database, else "/"), with a
// trailing separator.
std::string homeFolder();

// Every field at its default, with the platform's default paths.
JobSettings defaultJobSettings();

// Resets the settings to their defaults and makes the build idle.
void applyDefaults(JobSettings& settings, BuildRun& run);

// The extension of the last path component, from its last dot to the end,
// lower-cased (ASCII only); empty when the name has no dot.
std::string extensionOf(std::string_view path);

// Whether the path's extension is one of the table's entries.
bool hasExtensionIn(std::string_view path, ChoiceTable table);
// The dialog's lists and kExtraImageExtensions.
bool isSupportedInputFile(std::string_view path);
bool isSupportedOutputImageFile(std::string_view path);

// The index of the path's extension in the text-file table; 0 (plain text) when
// the extension is missing or not in the table.
int textFileTypeOf(std::string_view path);

}  // namespace tilvane
