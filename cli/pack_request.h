#pragma once

#include <cstdint>
#include <string>

#include "model/job_settings.h"

namespace tilvane {

// What one run of tilvane-pack was asked to do: the settings to build with and
// the options that only the front end reads.
struct PackRequest {
    JobSettings settings;
    std::string settingsFile;
    std::string saveSettingsFile;
    // MiB of decoded pixels the scan may keep for drawing (--memory-budget).
    std::uint32_t memoryBudgetMiB = 512;
    bool quiet = false;
    bool timings = false;
    bool help = false;
    bool version = false;
};

}  // namespace tilvane
