// Feeds arbitrary bytes to the settings file decoder: whatever a file holds, the
// decoder must stay inside the bytes given and every text must fit its block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tilvane::JobSettings settings;
    tilvane::decodeSettings(settings, data, size);
    for (const std::string* text :
         {&settings.inputFolder, &settings.outputImageFile, &settings.outputTextFile,
          &settings.namePrefix, &settings.namePostfix, &settings.imageBrowsePath,
          &settings.textBrowsePath, &settings.saveSettingsPath, &settings.loadSettingsPath,
          &settings.cssUrlPrefix}) {
        if (text->size() > tilvane::kSettingsTextBlock) std::abort();
    }
    // What was decoded encodes to a file of the one size.
    if (tilvane::encodeSettings(settings).size() != tilvane::kSettingsFileSize) std::abort();
    return 0;
}
