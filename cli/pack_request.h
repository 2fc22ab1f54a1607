#pragma once

#include <string>

#include "model/build_extras.h"
#include "model/job_settings.h"

namespace tilvane {

// What one run of tilvane-pack was asked to do: the settings to build with and
// the options that only the front end reads.
struct PackRequest {
    JobSettings settings;
    std::string settingsFile;
    std::string saveSettingsFile;
    bool quiet = false;
    bool timings = false;
    bool help = false;
    bool version = false;
    // Beyond the dialog: the engine formats, the tree search, extrusion, aliases.
    BuildExtras extras;
    // Warnings (name collisions, names that are not UTF-8) fail the run.
    bool strict = false;
    // Also list skipped files and folders, and the images stored as aliases.
    bool verbose = false;
};

}  // namespace tilvane
