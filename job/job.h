#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job/build.h"
#include "job/job_events.h"
#include "model/build_run.h"
#include "model/jobspec.h"

namespace tilvane {

// How a job ended, and what it made: the value both front ends derive their
// exit status and dialogs from.
struct JobResult {
    BuildOutcome outcome = BuildOutcome::idle;
    // Each page's size, in order (one for a job of one atlas), of the last
    // atlas the job drew when it makes several at their scales (`drawn` has
    // every atlas's pages); empty when the job ended before drawing.
    std::vector<Size> pages;
    // Each page drawn: its outputs and what it placed where (the names as
    // listed, the rectangles of the sprites' own pixels).
    std::vector<BuildRun::DrawnPage> drawn;
    // Files that could not be used, as (name, reason), in the order they failed.
    std::vector<std::pair<std::string, std::string>> failures;
    // Outputs that could not be written, with where and why.
    std::vector<OutputFailure> outputFailures;
    std::size_t added = 0;
    bool randomOrderFellBack = false;
    BuildNotes notes;
};

// One job driven step by step: start() prepares it (the checks, the scan, the
// order, the page plan) and arms it; each step() draws one file, and the step
// after the last file saves and commits the outputs. The dialog's timer calls
// tick() once per tick; runJob steps it straight to the end. Owns the job's
// state; the events must outlive it.
class JobRunner {
public:
    explicit JobRunner(JobEvents& events);
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Abandons any running job, then prepares jobSpec's (copied); answers armed
    // or why there is no job. onPhase, when set, is called as each phase starts.
    BuildOutcome start(const JobSpec& jobSpec, std::function<void(JobPhase)> onPhase = nullptr);
    // One step of an armed job: stepDone, idle, or how the job ended.
    BuildOutcome step();
    // The timer's handler: a step when the id is the build timer's, no step
    // is running (a dialog a step opened keeps the timer ticking) and a job is armed.
    BuildOutcome tick(int timerId);
    bool armed() const { return run_.currentStep != -1; }

    const JobSpec& jobSpec() const { return jobSpec_; }
    BuildRun& run() { return run_; }
    const BuildRun& run() const { return run_; }
    // What the job has made so far (the whole result once it ended).
    JobResult result(BuildOutcome outcome) const;

private:
    JobEvents& events_;
    JobSpec jobSpec_;
    BuildRun run_;
    BuildJob job_;
};

// Runs the whole job straight: start, then every step. Never throws.
JobResult runJob(const JobSpec& jobSpec, JobEvents& events,
                 std::function<void(JobPhase)> onPhase = nullptr);

}  // namespace tilvane
