#include "model/job_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "model/build_run.h"
#include "model/path_helpers.h"

namespace tilvane {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry && entry->pw_dir && *entry->pw_dir ? entry->pw_dir : "/";
    }
    return ensureTrailingSlash(home);
}

JobSettings defaultJobSettings() {
    JobSettings settings;
#ifdef _WIN32
    const std::string images = "C:\\Images\\";
    const std::string input = images + "Input\\";
    const std::string output = images + "Output\\";
#else
    const std::string images = homeFolder() + "Images/";
    const std::string input = images + "Input/";
    const std::string output = images + "Output/";
#endif
    settings.inputFolder = input;
    settings.outputImageFile = output + "final.png";
    settings.outputTextFile = output + "finalRects.txt";
    settings.saveSettingsPath = input;
    settings.loadSettingsPath = input;
    return settings;
}

void applyDefaults(JobSettings& settings, BuildRun& run) {
    settings = defaultJobSettings();
    run.currentStep = -1;
}

std::string extensionOf(std::string_view path) {
    const std::string name = fileNameOf(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : toLowerAscii(name.substr(dot));
}

bool hasExtensionIn(std::string_view path, ChoiceTable table) {
    const std::string extension = extensionOf(path);
    if (extension.empty()) return false;
    for (std::string_view entry : table) {
        if (entry == extension) return true;
    }
    return false;
}

bool isSupportedInputFile(std::string_view path) {
    return hasExtensionIn(path, kInputExtensions) || hasExtensionIn(path, kExtraImageExtensions);
}

bool isSupportedOutputImageFile(std::string_view path) {
    return hasExtensionIn(path, kOutputImageExtensions) ||
           hasExtensionIn(path, kExtraImageExtensions);
}

int textFileTypeOf(std::string_view path) {
    const int index = typeIndexOfPath(path, kTextFileExtensions, kTextPlain);
    return index < 0 ? kTextPlain : index;
}

}  // namespace tilvane
