#include "job/job.h"

#include <algorithm>

#include "job/variants.h"

namespace tilvane {

JobRunner::JobRunner(JobEvents& events) : events_(events), job_{jobSpec_, run_, events_} {}

BuildOutcome JobRunner::start(const JobSpec& jobSpec, std::function<void(JobPhase)> onPhase) {
    // The JobSpec a running job reads is replaced only once it is abandoned.
    run_.currentStep = -1;
    jobSpec_ = jobSpec;
    job_.onPhase = std::move(onPhase);
    return startBuild(job_);
}

BuildOutcome JobRunner::step() {
    return buildStep(job_);
}

BuildOutcome JobRunner::tick(int timerId) {
    return onTimerTick(job_, timerId);
}

JobResult JobRunner::result(BuildOutcome outcome) const {
    JobResult result;
    result.outcome = outcome;
    if (!run_.pages.empty()) {
        for (const BuildRun::Page& page : run_.pages) result.pages.push_back(page.size);
    } else if (outcome != BuildOutcome::refused && !run_.processOrder.empty()) {
        result.pages.push_back({static_cast<std::int32_t>(jobSpec_.settings.outputWidth),
                                static_cast<std::int32_t>(jobSpec_.settings.outputHeight)});
    }
    result.drawn = run_.drawnPages;
    result.failures = run_.failedFiles;
    result.outputFailures = run_.outputFailures;
    result.added = run_.placedNames.size() + static_cast<std::size_t>(run_.addedOnEarlierPages);
    result.randomOrderFellBack = run_.randomOrderFellBack;
    result.notes = run_.notes;
    return result;
}

JobResult runJob(const JobSpec& jobSpec, JobEvents& events, std::function<void(JobPhase)> onPhase) {
    JobRunner runner(events);
    BuildOutcome outcome = runner.start(jobSpec, std::move(onPhase));
    // Each step advances the job or ends it; the bound only guards against a
    // job that stops advancing.
    std::size_t steps = 0;
    const BuildRun& run = runner.run();
    std::size_t pages = 0;
    for (const std::size_t count : variantPageCounts(run)) pages += count;
    const std::size_t maxSteps = std::max<std::size_t>(run.variantFiles.size(), 1) *
                                     (2 * static_cast<std::size_t>(run.fileList.count()) + 2) +
                                 pages;
    while ((outcome == BuildOutcome::armed || outcome == BuildOutcome::stepDone) &&
           steps++ < maxSteps) {
        outcome = runner.step();
    }
    return runner.result(outcome);
}

}  // namespace tilvane
