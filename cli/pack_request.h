#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "layout/size_search.h"
#include "model/build_extras.h"
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
    // --fit: the atlas sized by the tool, of this shape.
    std::optional<FitShape> fit;
    // --pages: more atlases when one is not enough.
    bool pages = false;
    // --min-width, --min-height: the least size --fit may choose.
    std::uint32_t minWidth = 1;
    std::uint32_t minHeight = 1;
    // Whether --width and --height were on the command line (with --fit they
    // are the maximum, else 8192).
    bool widthGiven = false;
    bool heightGiven = false;
    // Beyond the dialog: the engine formats, the tree search, extrusion, aliases.
    BuildExtras extras;
    // Warnings (name collisions, names that are not UTF-8) fail the run.
    bool strict = false;
    // Also list skipped files and folders, and the images stored as aliases.
    bool verbose = false;
};

}  // namespace tilvane
