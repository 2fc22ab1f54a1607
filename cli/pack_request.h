#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/jobspec.h"

namespace tilvane {

// What one run of tilvane-pack was asked to do: the settings to build with and
// the options that only the front end reads.
struct PackRequest {
    // The settings, the options beyond them (the extension options' table)
    // and --save-settings; the memory budget is set from memoryBudgetMiB.
    JobSpec jobSpec;
    std::string settingsFile;
    // What to say on standard error before the run: the --settings file's
    // extension block that could not be read, or its entries refused.
    std::vector<std::string> warnings;
    // Files besides the images and settingsFile that the depfile names as read
    // (a jobs file).
    std::vector<std::string> alsoRead;
    // --jobs: the file of atlases to build, in place of one.
    std::string jobsFile;
    // MiB of decoded pixels the scan may keep for drawing (--memory-budget).
    std::uint32_t memoryBudgetMiB = 512;
    bool quiet = false;
    bool timings = false;
    bool help = false;
    bool version = false;
    // Warnings (name collisions, names that are not UTF-8) fail the run.
    bool strict = false;
    // Also list skipped files and folders, and the images stored as aliases.
    bool verbose = false;
    // Build, then build again whenever the input images change, until stopped.
    bool watch = false;
};

}  // namespace tilvane
