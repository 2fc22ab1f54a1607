#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/jobspec.h"

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
    // --fit, --pages, --min-width, --min-height, and whether --width and
    // --height were given (with --fit they are the maximum, else 8192).
    SizingSpec sizing;
    // Beyond the dialog: the engine formats, the tree search, extrusion, aliases.
    BuildExtras extras;
    // Warnings (name collisions, names that are not UTF-8) fail the run.
    bool strict = false;
    // Also list skipped files and folders, and the images stored as aliases.
    bool verbose = false;
    // Build, then build again whenever the input images change, until stopped.
    bool watch = false;
};

}  // namespace tilvane
