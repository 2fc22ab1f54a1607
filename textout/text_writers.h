#pragma once

#include "job/build_run.h"
#include "job/job_settings.h"

namespace tilvane {

// Each writer replaces outputTextFile with the document of its format listing
// every placed image, and turns run.placedNames into entry names in place.
// False when the file cannot be written (any previous file is then untouched)
// or its indentation cannot be built; true otherwise. A run whose placed lists
// disagree (a name or, for JSON and XML, a valid file index missing for some
// rectangle) and the UV style with an output width or height of 0 are refused
// the same way, before anything is opened or renamed.
bool writePlainTextRects(const JobSettings& settings, BuildRun& run);
bool writeJsonRects(const JobSettings& settings, BuildRun& run);
bool writeXmlRects(const JobSettings& settings, BuildRun& run);
bool writeCssRects(const JobSettings& settings, BuildRun& run);

}  // namespace tilvane
