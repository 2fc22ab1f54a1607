#pragma once

#include <string_view>

#include "model/build_run.h"
#include "model/job_settings.h"
#include "model/window_services.h"

namespace tilvane {

// What a build works on: the window's settings, the build's state, and the
// window that shows it. The main window and tilvane-pack each own these three.
struct BuildJob {
    JobSettings& settings;
    BuildRun& run;
    WindowServices& window;
};

// The timer whose ticks drive the build.
inline constexpr int kBuildTimerId = 1000;

// "GO!": abandons any running build, checks the settings and the output paths,
// creates the empty atlas, scans and measures the input folder, orders the files
// and arms the build (currentStep 0), or leaves it idle after telling the user.
void startBuild(BuildJob& job);

// Releases the atlas and empties every list of the run except the file list;
// currentStep is left as it is.
void clearRun(BuildRun& run);

// Appends "name          (reason)" to the run's failures.
void addFailure(BuildRun& run, std::string_view name, std::string_view reason);

// The checks of the output paths: the atlas outside the input folder, both
// output folders present, then findOutputConflict; false after showing the
// message that stops the build.
bool checkOutputPaths(BuildJob& job);

// Places the next file of processOrder; after the last one, finishes the build.
void buildStep(BuildJob& job);

// Save options, the atlas, the mask, the text file and the outcome.
void finishBuild(BuildJob& job);

// The timer handler: runs one step when the id is the build timer's, no step is
// running, and a build is armed.
void onTimerTick(BuildJob& job, int timerId);

// True while a step (and the completion it may run) is in progress.
bool stepGuardActive();

}  // namespace tilvane
