#pragma once

#include "model/build_run.h"
#include "model/job_settings.h"

namespace tilvane {

// Each writer replaces outputTextFile with the document of its format listing
// every placed image, and turns run.placedNames into entry names in place.
// False when the file cannot be written (any previous file is then untouched)
// or its indentation cannot be built; true otherwise. A run whose placed lists
// disagree (a name or, for JSON and XML, a valid file index missing for some
// rectangle) and the UV style with an output width or height of 0 are refused
// the same way, before anything is opened or renamed. The file goes through an
// OutputFile (a symlink is followed, a device written straight through). On
// false, *error (when given) receives the cause: the file's errno, or EINVAL
// for a run or indentation the writer refuses.
bool writePlainTextRects(const JobSettings& settings, BuildRun& run, int* error = nullptr);
bool writeJsonRects(const JobSettings& settings, BuildRun& run, int* error = nullptr);
bool writeXmlRects(const JobSettings& settings, BuildRun& run, int* error = nullptr);
bool writeCssRects(const JobSettings& settings, BuildRun& run, int* error = nullptr);

}  // namespace tilvane
