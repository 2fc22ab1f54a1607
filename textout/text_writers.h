#pragma once

#include "job/build_run.h"
#include "job/job_settings.h"

namespace tilvane {

// Each writer replaces outputTextFile with the document of its format listing
// every placed image, and turns run.placedNames into entry names in place.
// False when the file cannot be written (any previous file is then untouched)
// or its indentation cannot be built; true otherwise.
bool writePlainTextRects(const JobSettings& settings, BuildRun& run);
bool writeJsonRects(const JobSettings& settings, BuildRun& run);
bool writeXmlRects(const JobSettings& settings, BuildRun& run);
bool writeCssRects(const JobSettings& settings, BuildRun& run);

}  // namespace tilvane
