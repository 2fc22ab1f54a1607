#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/build_extras.h"
#include "model/build_run.h"
#include "model/job_settings.h"

namespace tilvane {

// The name the text file gives an image listed as fileName: the entry name
// (with "/" turned into "_" first) for the dialog's formats, else the key or
// region name of the engine format.
std::string dataNameOf(std::string_view fileName, const JobSettings& settings, DataFormat format);

// Whether the format writes animations (the JSON hash and array, libGDX).
bool writesAnimations(DataFormat format);

// Run before the text file is written. Notes in run.notes each placed image
// whose data name equals an earlier placed image's (one collision each, naming
// both files) and, for the engine formats, each name that is not valid UTF-8.
// With animations in a format that writes them, a libGDX frame of an animation
// is named by the animation and its number, and each animation named like an
// image that is no frame of one (extension aside) is noted as a clash.
// Then, for the dialog's formats, turns every "/" of placedNames into "_", so
// files of sub-folders are named by their path.
void prepareDataNames(const JobSettings& settings, const BuildExtras& extras, BuildRun& run);

// The text file of an engine format for the run's current page, an atlas of
// the given size, with the pivots, borders and animations the extras ask for.
// meta.image names the page's atlas relative to its text file's folder (its
// bare name when both share a folder). Empty for DataFormat::byExtension or
// when the run's lists do not describe every entry. relatedPages names the
// other pages' text files, relative to this one's folder; with --premultiply
// the formats that can say so say the atlas's colours are (AtlasMeta). For
// phaserMulti it is the page's "textures" entry (see multiAtlasDocument).
std::optional<std::string> engineDocument(const BuildExtras& extras, const BuildRun& run,
                                          Size atlas, std::vector<std::string> relatedPages = {});

// The one phaser-multi text file of every page drawn: run.textureEntries.
std::string multiAtlasDocument(const BuildRun& run);

}  // namespace tilvane
