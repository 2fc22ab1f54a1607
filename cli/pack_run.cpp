#include "cli/pack_run.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <limits>
#include <set>
#include <thread>

#include "cli/option_table.h"
#include "cli/pack_jobs.h"
#include "cli/pack_request.h"
#include "cli/terminal_events.h"
#include "cli/watch_mode.h"
#include "image/output_file.h"
#include "job/job.h"
#include "job/output_paths.h"
#include "job/pages.h"
#include "job/variants.h"
#include "layout/footprint.h"
#include "layout/page_plan.h"
#include "layout/placement.h"
#include "model/path_helpers.h"
#include "settings/extension_options.h"
#include "settings/settings_file.h"

#ifndef TILVANE_VERSION
#define TILVANE_VERSION "unknown"
#endif

namespace tilvane {

namespace {

using Clock = std::chrono::steady_clock;

int usageError(PackConsole& console, const std::string& what) {
    console.err << "tilvane-pack: " << escapeControls(oneLine(what)) << '\n'
                << "Run 'tilvane-pack --help' for the options.\n";
    return kPackUsageOrRefused;
}

// The exit status of each way a build can end, the one place that decides it.
// A build that stopped before saving anything (it cannot here: the options
// are never cancelled and steps always advance) counts as a file not saved.
PackStatus exitStatusOf(BuildOutcome outcome) {
    switch (outcome) {
        case BuildOutcome::saved:
            return kPackDone;
        case BuildOutcome::savedWithFailures:
            return kPackDoneWithFailures;
        case BuildOutcome::refused:
        case BuildOutcome::noInputFolder:
        case BuildOutcome::unequalSizes:
            return kPackUsageOrRefused;
        case BuildOutcome::imageNotSaved:
        case BuildOutcome::textNotSaved:
        case BuildOutcome::settingsNotSaved:
        case BuildOutcome::depfileNotSaved:
        case BuildOutcome::cancelled:
        case BuildOutcome::armed:
        case BuildOutcome::stepDone:
        case BuildOutcome::idle:
            return kPackSaveFailed;
        case BuildOutcome::noFiles:
        case BuildOutcome::nothingListed:
            return kPackNoFiles;
    }
    return kPackSaveFailed;
}

// When the build entered each phase; unset for a phase it never reached.
struct PhaseClock {
    std::array<Clock::time_point, 5> entered{};

    Clock::time_point& operator[](JobPhase phase) {
        return entered[static_cast<std::size_t>(phase)];
    }
    bool reached(JobPhase phase) { return (*this)[phase] != Clock::time_point{}; }
    // Seconds from entering the phase to the next phase reached (or `end`); 0
    // for a phase never reached.
    double secondsIn(JobPhase phase, Clock::time_point end) {
        if (!reached(phase)) return 0;
        for (auto next = static_cast<std::size_t>(phase) + 1; next < entered.size(); ++next) {
            if (entered[next] != Clock::time_point{}) {
                end = entered[next];
                break;
            }
        }
        return std::max(0.0, std::chrono::duration<double>(end - (*this)[phase]).count());
    }
};

// "tilvane-pack: PATH: REASON", the line that says where and why a save failed.
std::string causeLine(const std::string& path, int error) {
    return "tilvane-pack: " + path + ": " + std::strerror(error);
}

// The completion's messages named what failed; this adds where and why, each
// cause right after its message. The dialog keeps a failed mask to itself;
// here it is a failure like the others. The lines go through the window, which
// clears its progress line first.
void reportOutputFailures(TerminalEvents& events, const std::vector<OutputFailure>& failures) {
    for (const OutputFailure& f : failures) {
        if (f.output != OutputFailure::Output::mask) events.message(causeLine(f.path, f.error));
    }
    for (const OutputFailure& f : failures) {
        if (f.output != OutputFailure::Output::mask) continue;
        events.message("Failed to save the mask image!");
        events.message(causeLine(f.path, f.error));
    }
}

void printTimings(std::ostream& err, const PackTimings& t, bool sized, bool verified) {
    const double total = t.scanning + t.sizing + t.placing + t.drawing + t.saving + t.verifying;
    err << std::fixed << std::setprecision(3) << "Timings: scanning " << t.scanning;
    if (sized) err << " s, sizing " << t.sizing;
    err << " s, placing " << t.placing << " s, drawing " << t.drawing << " s, saving " << t.saving;
    if (verified) err << " s, verifying " << t.verifying;
    err << " s, total " << total << " s";
    if (total > 0) err << std::setprecision(1) << " (placing " << 100.0 * t.placing / total << "%)";
    err << '\n';
    if (!t.pageOccupancy.empty()) {
        err << std::setprecision(1) << "Occupancy: " << 100.0 * t.occupancy << "%";
        if (t.pageOccupancy.size() > 1) {
            err << " over " << t.pageOccupancy.size() << " pages:";
            for (std::size_t i = 0; i < t.pageOccupancy.size(); ++i)
                err << (i == 0 ? " " : ", ") << 100.0 * t.pageOccupancy[i] << "%";
        }
        err << " (footprint area over atlas area)\n";
    }
    err << std::defaultfloat << std::flush;
}

// Each drawn page's footprint area over its atlas area, and the total's.
void measureOccupancy(const std::vector<BuildRun::DrawnPage>& drawn, PackTimings& t) {
    double footprints = 0, areas = 0;
    for (const BuildRun::DrawnPage& page : drawn) {
        const double area = static_cast<double>(page.size.width) * page.size.height;
        const auto footprint = static_cast<double>(page.footprintArea);
        t.pageOccupancy.push_back(area > 0 ? footprint / area : 0);
        footprints += footprint;
        areas += area;
    }
    t.occupancy = areas > 0 ? footprints / areas : 0;
}

// The chosen size, or each page's, on a line of its own.
void reportSizing(std::ostream& err,
                  const std::vector<std::pair<std::int32_t, std::int32_t>>& sizes, bool fitFailed,
                  const JobSpec& jobSpec, const std::string& atlas) {
    const std::string lead = "tilvane-pack: " + (atlas.empty() ? "" : escapeControls(atlas) + ": ");
    const bool pages = jobSpec.sizing.pages;
    if (fitFailed) {
        const FitLimits limits = fitLimitsOf(jobSpec);
        const AtlasSize largest = largestOfShape(limits);
        err << lead << "note: no atlas size up to " << limits.maxWidth << "x" << limits.maxHeight
            << " holds " << (pages ? "the images of every page" : "every image")
            << ", so the largest " << (limits.shape == FitShape::any ? "size" : "of the shape")
            << ", " << largest.width << "x" << largest.height << ", is used\n";
    }
    if (!pages) {
        if (!sizes.empty()) {
            err << lead << "atlas size " << sizes.front().first << "x" << sizes.front().second
                << '\n';
        }
    } else {
        err << lead << sizes.size() << (sizes.size() == 1 ? " page:" : " pages:");
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            err << (i == 0 ? " " : ", ") << sizes[i].first << "x" << sizes[i].second;
        }
        err << '\n';
    }
    err << std::flush;
}

// What became of the layout file: unusable (a warning), not kept (a note),
// and with verbose how many sprites kept their places.
void reportKeptLayout(TerminalEvents& events, std::ostream& err, const KeptLayoutNotes& notes,
                      const JobSpec& jobSpec, bool verbose) {
    if (notes.unusable.empty() && notes.repacked.empty() && !(verbose && notes.kept)) return;
    events.clearProgress();
    if (!notes.unusable.empty()) {
        err << "tilvane-pack: warning: the layout file "
            << escapeControls(jobSpec.extras.keepLayoutFile) << " cannot be used ("
            << escapeControls(notes.unusable) << "), so the atlas is packed afresh\n";
    }
    if (!notes.repacked.empty()) {
        err << "tilvane-pack: note: " << notes.repacked << ", so the whole atlas is repacked\n";
    }
    if (verbose && notes.kept) {
        err << "tilvane-pack: kept " << notes.keptSprites << " images in place, placed "
            << notes.placedSprites << " into free room\n";
    }
    err << std::flush;
}

void reportSkipped(TerminalEvents& events, std::ostream& err, const BuildNotes& notes) {
    if (notes.skipped.empty()) return;
    events.clearProgress();
    for (const std::string& name : notes.skipped) {
        const bool folder = !name.empty() && name.back() == '/';
        err << "tilvane-pack: skipped " << escapeControls(name)
            << (folder ? " (folder not searched)" : " (not a supported image extension)") << '\n';
    }
    err << std::flush;
}

// Prints the build's warnings (and with verbose its aliases); answers how many
// warnings there were.
std::size_t reportNotes(TerminalEvents& events, std::ostream& err, const BuildNotes& notes,
                        bool verbose) {
    const std::size_t warnings = notes.collisions.size() + notes.notUtf8.size() +
                                 notes.animationClashes.size() + notes.unknownSpriteKeys.size();
    if (!notes.stalePagesLeft.empty() || (verbose && !notes.stalePagesRemoved.empty())) {
        events.clearProgress();
    }
    for (const std::string& left : notes.stalePagesLeft) {
        err << "tilvane-pack: note: left " << escapeControls(left)
            << ", which looks like a page of an earlier run\n";
    }
    if (verbose) {
        for (const std::string& removed : notes.stalePagesRemoved) {
            err << "tilvane-pack: removed " << escapeControls(removed)
                << ", a page of an earlier run of more pages\n";
        }
    }
    if (warnings == 0 && !(verbose && notes.aliased > 0)) return 0;
    events.clearProgress();
    for (const NameCollision& c : notes.collisions) {
        err << "tilvane-pack: warning: " << escapeControls(c.first) << " and "
            << escapeControls(c.second) << " both get the name \"" << escapeControls(c.name)
            << "\"\n";
    }
    for (const NameCollision& c : notes.animationClashes) {
        err << "tilvane-pack: warning: the animation \"" << escapeControls(c.name) << "\" of "
            << escapeControls(c.first) << " has the name of " << escapeControls(c.second) << '\n';
    }
    for (const std::string& key : notes.unknownSpriteKeys) {
        err << "tilvane-pack: warning: the sprite data names \"" << escapeControls(key)
            << "\", which is no image of the input\n";
    }
    for (const std::string& name : notes.notUtf8) {
        err << "tilvane-pack: warning: " << escapeControls(name)
            << " is not valid UTF-8; each invalid byte is written as U+FFFD\n";
    }
    if (verbose && notes.aliased > 0) {
        err << "tilvane-pack: " << notes.aliased
            << (notes.aliased == 1 ? " image shares" : " images share")
            << " the pixels and rectangle of an image placed before\n";
    }
    err << std::flush;
    return warnings;
}

// With --jobs, the options of the atlases are in the jobs file: the command
// line gives only what the atlases share.
std::optional<std::string> jobsModeRefusal(const std::vector<std::string>& args) {
    const std::set<std::string> shared = {"--jobs", "--memory-budget", "--quiet"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) != 0) continue;
        const std::string name = args[i].substr(0, args[i].find('='));
        if (shared.count(name) == 0) {
            return "with --jobs, " + name +
                   " goes in the jobs file; only --memory-budget and --quiet are given beside it";
        }
        // The value of an option that takes one is no option, whatever it reads.
        if (name != "--quiet" && name == args[i]) ++i;
    }
    return std::nullopt;
}

}  // namespace

int runPack(const std::vector<std::string>& args, PackConsole& console, PackTimings* timings) {
    PackRequest request;
    request.jobSpec.settings = defaultJobSettings();
    if (const auto error = parsePackArguments(args, request)) return usageError(console, *error);
    if (request.help) {
        console.out << packHelpText();
        return kPackDone;
    }
    if (request.version) {
        console.out << "tilvane-pack " << TILVANE_VERSION << '\n';
        return kPackDone;
    }
    if (!request.jobsFile.empty()) {
        if (const auto error = jobsModeRefusal(args)) return usageError(console, *error);
        std::vector<PackAtlas> atlases;
        if (const auto error = readPackJobs(request.jobsFile, atlases)) {
            return usageError(console, *error);
        }
        if (const auto conflict = packJobsConflict(atlases)) return usageError(console, *conflict);
        return runPackJobs(atlases, {0, request.memoryBudgetMiB}, console);
    }
    return runPackRequest(request, console, timings);
}

namespace {

// One whole run of the request's job, reported; answers its exit status.
int buildOnce(const PackRequest& request, const JobSpec& jobSpec, PackConsole& console,
              PackTimings* timings) {
    // Checked first, so a settings file that would replace another output or
    // an input image is never written, and variants whose files would meet
    // are a mistake of the command line.
    if (!jobSpec.saveSettingsFile.empty() || !jobSpec.extras.variants.empty()) {
        if (const auto conflict =
                findOutputSetConflict(jobOutputSet(jobSpec, jobSpec.sizing.pages ? 1 : 0))) {
            return usageError(console, *conflict);
        }
    }

    TerminalEvents events(console.out, console.err, console.terminal && !request.quiet);
    events.columns = console.columns;
    // Told once per atlas; with variants, each line names its atlas.
    std::size_t plannedVariant = 0;
    events.onPlanned = [&](const std::vector<std::pair<std::int32_t, std::int32_t>>& sizes,
                           bool fitFailed) {
        events.clearProgress();
        std::string atlas;
        if (!jobSpec.extras.variants.empty()) {
            const PathParts parts = splitPath(variantImageFile(jobSpec, plannedVariant++));
            atlas = parts.baseName + parts.extension;
        }
        reportSizing(console.err, sizes, fitFailed, jobSpec, atlas);
    };
    PhaseClock phases;
    JobRunner runner(events);
    BuildOutcome outcome =
        runner.start(jobSpec, [&phases](JobPhase phase) { phases[phase] = Clock::now(); });
    const BuildRun& run = runner.run();
    if (request.verbose) reportSkipped(events, console.err, run.notes);
    if (outcome != BuildOutcome::armed) {
        // A job that ends before its outputs still leaves the settings file
        // it was asked for, as a script expects.
        if (!jobSpec.saveSettingsFile.empty()) {
            const std::string bytes = settingsFileBytes(jobSpec);
            if (const int error =
                    writeOutputFile(jobSpec.saveSettingsFile, bytes.data(), bytes.size())) {
                events.message(causeLine(jobSpec.saveSettingsFile, error));
                return kPackSaveFailed;
            }
        }
        return exitStatusOf(outcome);
    }
    reportKeptLayout(events, console.err, run.notes.keptLayout, jobSpec, request.verbose);
    if (run.randomOrderFellBack) {
        events.clearProgress();
        console.err << "tilvane-pack: note: the random order ran out of draws, so the files are "
                       "placed in name order (another --seed may complete it)\n"
                    << std::flush;
    }
    while (outcome == BuildOutcome::armed || outcome == BuildOutcome::stepDone) {
        outcome = runner.step();
    }
    const auto end = Clock::now();
    const JobResult result = runner.result(outcome);
    reportOutputFailures(events, result.outputFailures);

    if (request.timings || timings) {
        PackTimings measured;
        measured.scanning = phases.secondsIn(JobPhase::scanning, end);
        measured.sizing = phases.secondsIn(JobPhase::sizing, end);
        const double steps = phases.secondsIn(JobPhase::placing, end);
        measured.saving = phases.secondsIn(JobPhase::saving, end);
        measured.verifying = phases.secondsIn(JobPhase::verifying, end);
        measured.placing = std::min(run.placingSeconds, steps);
        measured.drawing = std::max(0.0, steps - measured.placing);
        measureOccupancy(result.drawn, measured);
        if (timings) *timings = measured;
        if (request.timings) {
            events.clearProgress();
            printTimings(console.err, measured, jobSpec.sizing.active(), jobSpec.extras.verify);
        }
    }
    if (!result.notes.verifyFailure.empty()) {
        events.clearProgress();
        console.err << "tilvane-pack: --verify: " << escapeControls(result.notes.verifyFailure)
                    << '\n'
                    << std::flush;
    }

    // Two images under one name cannot be told apart in the text file: said
    // on standard error whatever the format; the files stay the dialog's.
    const std::size_t warnings = reportNotes(events, console.err, result.notes, request.verbose);
    PackStatus status = exitStatusOf(outcome);
    // An atlas that does not hold what its text file says is a failed file.
    if (!result.notes.verifyFailure.empty() && status == kPackDone) status = kPackDoneWithFailures;
    if (request.strict && warnings > 0 && status == kPackDone) {
        console.err << "tilvane-pack: --strict: " << warnings
                    << (warnings == 1 ? " warning" : " warnings") << ", so the run fails\n"
                    << std::flush;
        return kPackDoneWithFailures;
    }
    return status;
}

}  // namespace

int runPackRequest(const PackRequest& request, PackConsole& console, PackTimings* timings) {
    for (const std::string& warning : request.warnings) {
        console.err << "tilvane-pack: " << request.settingsFile << ": " << warning << '\n';
    }
    console.err << std::flush;
    const JobSpec jobSpec = jobSpecOf(request);
    const auto build = [&] { return buildOnce(request, jobSpec, console, timings); };
    return request.watch ? watchAndRebuild(jobSpec, console.err, build) : build();
}

JobSpec jobSpecOf(const PackRequest& request) {
    JobSpec jobSpec = request.jobSpec;
    constexpr std::size_t kMaxMiB = std::numeric_limits<std::size_t>::max() >> 20;
    jobSpec.keptPixelBudget = std::min<std::size_t>(request.memoryBudgetMiB, kMaxMiB) << 20;
    // The settings the job was read from are one of its inputs too.
    if (!jobSpec.depfile.path.empty()) {
        if (!request.settingsFile.empty()) jobSpec.depfile.alsoRead.push_back(request.settingsFile);
        jobSpec.depfile.alsoRead.insert(jobSpec.depfile.alsoRead.end(), request.alsoRead.begin(),
                                        request.alsoRead.end());
    }
    return jobSpec;
}

}  // namespace tilvane
