#pragma once

#include <string>

#include "job/build.h"
#include "job/layout_file.h"

namespace tilvane {

// With --keep-layout: reads the layout file and, when it can be kept
// (planStableLayout), plans the armed run's pages around it with each file's
// place (run.pages). Keys are the names as listed. False when there is no layout to keep or it
// cannot be kept, the notes saying why (run.notes.keptLayout); the caller then plans as usual.
// Deterministic: the same file and the same inputs give the same plan.
bool planKeptLayout(BuildJob& job);

// The layout file's record of the drawn pages: each page's size and, for
// each placed image that took room of its own (an alias shares its leader's
// and is left out), its name, page, footprint, place and turn.
LayoutRecord layoutRecordOf(const JobSpec& jobSpec, const BuildRun& run);

}  // namespace tilvane
