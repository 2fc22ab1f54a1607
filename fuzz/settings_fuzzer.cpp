// Feeds arbitrary bytes to the settings file decoder: whatever a file holds, the
// decoder must stay inside the bytes given, every text must fit its block, and
// the extension block's entries, applied and written again, must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/extension_options.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tilvane::JobSpec jobSpec;
    tilvane::JobSettings& settings = jobSpec.settings;
    tilvane::SettingsExtensions extensions;
    tilvane::decodeSettings(settings, data, size, &extensions);
    if (!extensions.problem.empty() && !extensions.entries.empty()) std::abort();
    tilvane::applyExtensionEntries(extensions.entries, jobSpec);
    for (const std::string* text :
         {&settings.inputFolder, &settings.outputImageFile, &settings.outputTextFile,
          &settings.namePrefix, &settings.namePostfix, &settings.imageBrowsePath,
          &settings.textBrowsePath, &settings.saveSettingsPath, &settings.loadSettingsPath,
          &settings.cssUrlPrefix}) {
        if (text->size() > tilvane::kSettingsTextBlock) std::abort();
    }
    // What was decoded encodes to a file of the one size, then its block.
    if (tilvane::encodeSettings(settings).size() != tilvane::kSettingsFileSize) std::abort();
    const std::string again = tilvane::settingsFileBytes(jobSpec);
    tilvane::JobSpec reread;
    tilvane::decodeSettings(reread.settings, reinterpret_cast<const unsigned char*>(again.data()),
                            again.size(), &extensions);
    if (!extensions.problem.empty()) std::abort();
    tilvane::applyExtensionEntries(extensions.entries, reread);
    if (tilvane::settingsFileBytes(reread) != again) std::abort();
    return 0;
}
