#pragma once

#include <string>

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
};

}  // namespace tilvane
