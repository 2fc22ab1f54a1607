#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "job/job_events.h"
#include "model/build_run.h"
#include "model/jobspec.h"

namespace tilvane {

// How a call of startBuild, buildStep, finishBuild or onTimerTick ended. The
// front end has been told already; this is for a caller that acts on the result
// without reading what was shown. Which outputs failed, where and why, is in
// BuildRun::outputFailures.
enum class BuildOutcome {
    // A check of the settings or the output paths refused them; nothing prepared.
    refused,
    // The input folder is missing or cannot be read.
    noInputFolder,
    // No file of the folder could be a sprite, and none failed: "No files found."
    noFiles,
    // Every candidate file failed to load or list: the report shown, no build.
    nothingListed,
    // "Crop all to same dimension" met files of different sizes.
    unequalSizes,
    // startBuild: the build is armed at step 0.
    armed,
    // buildStep: one file placed (or failed), more steps to come.
    stepDone,
    // Nothing done: no build armed, no file left to step, another timer, or a
    // step already running.
    idle,
    // The save options were cancelled (nothing written, the atlas kept), or
    // the front end asked the job to stop between files (nothing written, the
    // run released).
    cancelled,
    // Every output written and every listed file added.
    saved,
    // Every output written; some files failed (the report shown).
    savedWithFailures,
    // The atlas, or the mask or settings file that commit with it, could not
    // be written; no output replaced its file.
    imageNotSaved,
    // The text file could not be written; no output replaced its file.
    textNotSaved,
    // The settings file or the layout file asked to be written with the
    // outputs could not be; no output replaced its file. No message: only a
    // front end that asked for the file says so.
    settingsNotSaved,
    // The depfile could not be written; no output replaced its file. No
    // message, as for the settings file.
    depfileNotSaved,
};

// What a build works on: the job's read-only JobSpec, the build's state, and the
// events through which it tells its front end what happens. onPhase, when set,
// is called as the build enters each phase (for timings).
struct BuildJob {
    const JobSpec& jobSpec;
    BuildRun& run;
    JobEvents& events;
    std::function<void(JobPhase)> onPhase = nullptr;
};

// "Failed to create the output image.", then on the next line why an atlas of
// width x height pixels could not be made: a side of 0, a side or a size past
// the limit (named), or no memory.
std::string outputImageFailure(std::uint64_t width, std::uint64_t height);

// The timer whose ticks drive the build.
inline constexpr int kBuildTimerId = 1000;

// "GO!": abandons any running build, checks the settings and the output paths,
// creates the empty atlas (a job that sizes its atlases makes each later),
// scans and measures the input folder, orders the files, plans the pages when
// the job sizes them, and arms the build (currentStep 0), or leaves it idle
// after telling the user.
// The scan decodes the files on every core and keeps their pixels within the
// job's budget; its failures and the file list come out in the folder's order,
// as a scan of one file after another would give them.
// Answers armed or why there is no build.
BuildOutcome startBuild(BuildJob& job);

// Releases the atlas and the kept pixels and empties every list of the run
// except the file list;
// currentStep is left as it is.
void clearRun(BuildRun& run);

// Appends "name          (reason)" to the run's failures.
void addFailure(BuildRun& run, std::string_view name, std::string_view reason);

// The checks of the output paths: the atlas outside the input folder, both
// output folders present, then findOutputSetConflict over the outputs of the
// first page and the settings file; false after showing the message that
// stops the build.
bool checkOutputPaths(BuildJob& job);

// Places the next file of processOrder, drawing the pixels the scan kept for it
// (then releasing them) or decoding it again; after the last one, finishes the
// build. When the events ask to cancel, it places nothing: the staged outputs
// of earlier pages are discarded, the run released ("You cancelled.").
// Answers stepDone, idle when nothing could be stepped, cancelled, or
// finishBuild's outcome.
BuildOutcome buildStep(BuildJob& job);

// The end of a page: the save options (asked once, on the first page), then
// the page's atlas, mask and text file staged. After the last page (or a
// failure) every staged output is committed together or none, and the outcome
// told. Answers stepDone when the next page is armed, else cancelled, saved,
// savedWithFailures or the first output not saved.
BuildOutcome finishBuild(BuildJob& job);

// The timer handler: runs one step when the id is the build timer's, no step is
// running, and a build is armed. Answers the step's outcome, else idle.
BuildOutcome onTimerTick(BuildJob& job, int timerId);

// True while a step (and the completion it may run) is in progress.
bool stepGuardActive();

}  // namespace tilvane
