#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "layout/size_search.h"
#include "model/build_extras.h"
#include "model/job_settings.h"

namespace tilvane {

// The bytes of decoded pixels a scan keeps for the steps unless told otherwise.
inline constexpr std::size_t kDefaultKeptPixelBudget = std::size_t{512} << 20;

// The side --fit may reach when the front end gives no maximum.
inline constexpr std::uint32_t kFitMaximumSide = 8192;

// How the atlas sizes are chosen beyond the settings' fixed width and height.
struct SizingSpec {
    // The atlas sized by the job, of this shape; the settings' width and height
    // (or kFitMaximumSide where not given) are then the maximum.
    std::optional<FitShape> fit;
    // More atlases (pages) when one of the maximum size does not hold every image.
    bool pages = false;
    // The least size fit may choose.
    std::uint32_t minWidth = 1;
    std::uint32_t minHeight = 1;
    // Whether the width and height were given (with fit they are the maximum,
    // else kFitMaximumSide).
    bool widthGiven = false;
    bool heightGiven = false;

    bool active() const { return fit.has_value() || pages; }
};

// One line of the settings file's extension block: an option beyond the
// described fields, as tilvane-pack's long option name and its value.
struct ExtensionEntry {
    std::string key;
    std::string value;

    friend bool operator==(const ExtensionEntry&, const ExtensionEntry&) = default;
};

// What one run is asked to do, complete and read-only: the job never writes
// back into it. The described options stay as the settings record holds them
// (its refusals must see the stored values, a crop mode of 7 included); the
// options beyond them are typed here.
struct JobSpec {
    JobSettings settings;
    SizingSpec sizing;
    BuildExtras extras;
    // Bytes of decoded pixels the scan may keep so that steps need not decode
    // their files again (0: every step decodes); what is drawn does not depend on it.
    std::size_t keptPixelBudget = kDefaultKeptPixelBudget;
    // A settings file written with the outputs, committed together with them.
    std::string saveSettingsFile;
    // Extension entries read from a settings file whose keys this version does
    // not know: written back unchanged when the settings are saved.
    std::vector<ExtensionEntry> keptExtensions;
    // A dependency file committed with the outputs when they are.
    DependencyFile depfile;
};

}  // namespace tilvane
