#include "cli/pack_run.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <limits>
#include <thread>

#include "cli/option_table.h"
#include "cli/terminal_window.h"
#include "job/build.h"
#include "job/output_paths.h"
#include "job/pages.h"
#include "layout/footprint.h"
#include "layout/placement.h"
#include "settings/settings_file.h"

#ifndef TILVANE_VERSION
#define TILVANE_VERSION "unknown"
#endif

namespace tilvane {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int usageError(PackConsole& console, const std::string& what) {
    console.err << "tilvane-pack: " << escapeControls(oneLine(what)) << '\n'
                << "Run 'tilvane-pack --help' for the options.\n";
    return kPackUsageOrRefused;
}

// The placement requests of the finished build, made again in the same order
// against a fresh index: the time placement took during the build.
double replayPlacement(const JobSettings& settings, std::uint32_t extrude, const BuildRun& run,
                       const std::vector<std::int32_t>& order) {
    if (settings.outputWidth > 0x7FFFFFFFu || settings.outputHeight > 0x7FFFFFFFu) return 0;
    const Size atlas{static_cast<std::int32_t>(settings.outputWidth),
                     static_cast<std::int32_t>(settings.outputHeight)};
    const LayoutRules rules{
        settings.spacing, extrude, {settings.borderSize, settings.gridAlignX, settings.gridAlignY}};
    OccupancyIndex index;
    double seconds = 0;
    for (const std::int32_t f : order) {
        const auto i = static_cast<std::size_t>(f);
        if (i >= run.cropRects.size() || i >= run.originalSizes.size()) continue;
        const Rect& crop = run.cropRects[i];
        const bool cropped = settings.cropMode != kCropNone;
        const std::int32_t w = cropped ? crop.right - crop.left + 1 : run.originalSizes[i].width;
        const std::int32_t h = cropped ? crop.bottom - crop.top + 1 : run.originalSizes[i].height;
        const Size footprint = footprintOf({w, h}, rules, atlas);
        Rect occupied;
        // Keeping the index is part of placing: it is timed with the search.
        const auto start = Clock::now();
        if (findPlacement(atlas.width, atlas.height, footprint.width, footprint.height, index,
                          rules.placement, &occupied)) {
            index.add(occupied);
        }
        seconds += secondsSince(start);
    }
    return seconds;
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
        case BuildOutcome::maskNotSaved:
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
    std::array<Clock::time_point, 3> entered{};

    Clock::time_point& operator[](BuildPhase phase) {
        return entered[static_cast<std::size_t>(phase)];
    }
    bool reached(BuildPhase phase) { return (*this)[phase] != Clock::time_point{}; }
    // Seconds from entering the phase to `end`; 0 for a phase never reached.
    double secondsIn(BuildPhase phase, Clock::time_point end) {
        if (!reached(phase)) return 0;
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
void reportOutputFailures(TerminalWindow& window, const BuildRun& run) {
    for (const OutputFailure& f : run.outputFailures) {
        if (f.output != OutputFailure::Output::mask) window.showMessage(causeLine(f.path, f.error));
    }
    for (const OutputFailure& f : run.outputFailures) {
        if (f.output != OutputFailure::Output::mask) continue;
        window.showMessage("Failed to save the mask image!");
        window.showMessage(causeLine(f.path, f.error));
    }
}

void printTimings(std::ostream& err, const PackTimings& t, bool sized) {
    const double total = t.scanning + t.sizing + t.placing + t.drawing + t.saving;
    err << std::fixed << std::setprecision(3) << "Timings: scanning " << t.scanning;
    if (sized) err << " s, sizing " << t.sizing;
    err << " s, placing " << t.placing << " s, drawing " << t.drawing << " s, saving " << t.saving
        << " s, total " << total << " s";
    if (total > 0) err << std::setprecision(1) << " (placing " << 100.0 * t.placing / total << "%)";
    err << '\n' << std::defaultfloat << std::flush;
}

// The search's limits from the options; a usage error when they hold no size.
std::optional<std::string> sizingOf(const PackRequest& request, SizingRequest& sizing) {
    const JobSettings& s = request.settings;
    sizing.fit = request.fit.has_value();
    sizing.pages = request.pages;
    sizing.limits.shape = request.fit.value_or(FitShape::any);
    constexpr std::uint32_t kFitMaximum = 8192;
    const bool fit = request.fit.has_value();
    sizing.limits.maxWidth = fit && !request.widthGiven ? kFitMaximum : s.outputWidth;
    sizing.limits.maxHeight = fit && !request.heightGiven ? kFitMaximum : s.outputHeight;
    sizing.limits.minWidth = request.minWidth;
    sizing.limits.minHeight = request.minHeight;
    const FitLimits& l = sizing.limits;
    constexpr std::int64_t kMaxSide = 0x7FFFFFFF;
    if (l.maxWidth < 1 || l.maxHeight < 1 || l.maxWidth > kMaxSide || l.maxHeight > kMaxSide ||
        l.minWidth < 1 || l.minHeight < 1 || l.minWidth > l.maxWidth || l.minHeight > l.maxHeight) {
        return "no atlas size between " + std::to_string(l.minWidth) + "x" +
               std::to_string(l.minHeight) + " and " + std::to_string(l.maxWidth) + "x" +
               std::to_string(l.maxHeight);
    }
    sizing.extrude = request.extras.extrude;
    // Replays are independent: one per core.
    sizing.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::nullopt;
}

// The chosen size, or each page's, on a line of its own.
void reportSizing(std::ostream& err, const SizingPlan& plan, const SizingRequest& sizing,
                  bool pages) {
    if (plan.fitFailed) {
        err << "tilvane-pack: note: no atlas size up to " << sizing.limits.maxWidth << "x"
            << sizing.limits.maxHeight << " holds "
            << (pages ? "the images of every page" : "every image") << ", so the maximum is used\n";
    }
    if (!pages) {
        const AtlasSize size = plan.pages.front().size;
        err << "tilvane-pack: atlas size " << size.width << "x" << size.height << '\n';
    } else {
        err << "tilvane-pack: " << plan.pages.size()
            << (plan.pages.size() == 1 ? " page:" : " pages:");
        for (std::size_t i = 0; i < plan.pages.size(); ++i) {
            err << (i == 0 ? " " : ", ") << plan.pages[i].size.width << "x"
                << plan.pages[i].size.height;
        }
        err << '\n';
    }
    err << std::flush;
}

void reportSkipped(TerminalWindow& window, std::ostream& err, const BuildNotes& notes) {
    if (notes.skipped.empty()) return;
    window.clearProgress();
    for (const std::string& name : notes.skipped) {
        const bool folder = !name.empty() && name.back() == '/';
        err << "tilvane-pack: skipped " << escapeControls(name)
            << (folder ? " (folder not searched)" : " (not a supported image extension)") << '\n';
    }
    err << std::flush;
}

// Prints the build's warnings (and with verbose its aliases); answers how many
// warnings there were.
std::size_t reportNotes(TerminalWindow& window, std::ostream& err, const BuildNotes& notes,
                        bool verbose) {
    const std::size_t warnings = notes.collisions.size() + notes.notUtf8.size();
    if (warnings == 0 && !(verbose && notes.aliased > 0)) return 0;
    window.clearProgress();
    for (const NameCollision& c : notes.collisions) {
        err << "tilvane-pack: warning: " << escapeControls(c.first) << " and "
            << escapeControls(c.second) << " both get the name \"" << escapeControls(c.name)
            << "\"\n";
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

}  // namespace

int runPack(const std::vector<std::string>& args, PackConsole& console, PackTimings* timings) {
    PackRequest request;
    request.settings = defaultJobSettings();
    if (const auto error = parsePackArguments(args, request)) return usageError(console, *error);
    if (request.help) {
        console.out << packHelpText();
        return kPackDone;
    }
    if (request.version) {
        console.out << "tilvane-pack " << TILVANE_VERSION << '\n';
        return kPackDone;
    }
    // Checked first, so a settings file that would replace another output or
    // an input image is never written. Unlike the dialog's Save Settings, a
    // script learns of a file it asked for and did not get, before any build.
    if (!request.saveSettingsFile.empty()) {
        if (const auto conflict = findOutputConflict(request.settings, request.saveSettingsFile)) {
            return usageError(console, *conflict);
        }
        int error = 0;
        if (!saveSettingsFile(request.settings, request.saveSettingsFile, &error)) {
            console.err << escapeControls(causeLine(request.saveSettingsFile, error)) << '\n'
                        << std::flush;
            return kPackSaveFailed;
        }
    }

    JobSettings& settings = request.settings;
    SizingRequest sizing;
    if (request.fit || request.pages) {
        if (const auto error = sizingOf(request, sizing)) return usageError(console, *error);
        // The atlas is made for each page once its size is known; the scan
        // needs none of the maximum's size.
        settings.outputWidth = 1;
        settings.outputHeight = 1;
    }
    BuildRun run;
    TerminalWindow window(settings, run, console.out, console.err,
                          console.terminal && !request.quiet);
    window.columns = console.columns;
    PhaseClock phases;
    BuildJob job{settings, run, window,
                 [&phases](BuildPhase phase) { phases[phase] = Clock::now(); }};
    constexpr std::size_t kMaxMiB = std::numeric_limits<std::size_t>::max() >> 20;
    job.keptPixelBudget = std::min<std::size_t>(request.memoryBudgetMiB, kMaxMiB) << 20;
    job.extras = request.extras;

    PackTimings measured;
    BuildOutcome outcome = startBuild(job);
    measured.scanning = phases.secondsIn(BuildPhase::scanning, Clock::now());
    if (request.verbose) reportSkipped(window, console.err, run.notes);
    if (outcome != BuildOutcome::armed) return exitStatusOf(outcome);
    if (run.randomOrderFellBack) {
        window.clearProgress();
        console.err << "tilvane-pack: note: the random order ran out of draws, so the files are "
                       "placed in name order (another --seed may complete it)\n"
                    << std::flush;
    }

    // Steps one armed build (or page) to its end; the times add up over pages.
    double steps = 0;
    auto buildArmed = [&]() {
        const std::vector<std::int32_t> order = run.processOrder;
        // Each step advances currentStep or ends the build; the bound only
        // guards against a run that stops advancing.
        const std::size_t maxSteps = order.size() + 1;
        for (std::size_t i = 0;
             (outcome == BuildOutcome::armed || outcome == BuildOutcome::stepDone) && i < maxSteps;
             ++i) {
            outcome = buildStep(job);
        }
        const auto end = Clock::now();
        reportOutputFailures(window, run);
        steps +=
            phases.secondsIn(BuildPhase::placing,
                             phases.reached(BuildPhase::saving) ? phases[BuildPhase::saving] : end);
        measured.saving += phases.secondsIn(BuildPhase::saving, end);
        phases = PhaseClock{};
        if (request.timings || timings)
            measured.placing += replayPlacement(settings, request.extras.extrude, run, order);
    };

    const bool sized = request.fit.has_value() || request.pages;
    if (!sized) {
        buildArmed();
    } else {
        const auto start = Clock::now();
        window.setStatusText("Sizing the atlas...");
        window.refreshControls(false);
        const SizingPlan plan = planPages(settings, run, sizing);
        measured.sizing = secondsSince(start);
        window.clearProgress();
        reportSizing(console.err, plan, sizing, request.pages);
        const std::string firstImage = settings.outputImageFile;
        const std::string firstText = settings.outputTextFile;
        for (std::size_t page = 0; page < plan.pages.size(); ++page) {
            if (!armPage(job, plan, page, firstImage, firstText)) return kPackUsageOrRefused;
            outcome = BuildOutcome::armed;
            buildArmed();
            if (outcome != BuildOutcome::saved && outcome != BuildOutcome::savedWithFailures) break;
        }
    }

    if (request.timings || timings) {
        measured.drawing = std::max(0.0, steps - measured.placing);
        if (timings) *timings = measured;
        if (request.timings) {
            window.clearProgress();
            printTimings(console.err, measured, sized);
        }
    }

    // Warnings belong to the engine-data options: without any of them the
    // messages stay the dialog's own.
    const bool warn = request.strict || request.verbose || request.extras.recursive ||
                      request.extras.format != DataFormat::byExtension;
    const std::size_t warnings =
        warn ? reportNotes(window, console.err, run.notes, request.verbose) : 0;
    const PackStatus status = exitStatusOf(outcome);
    if (request.strict && warnings > 0 && status == kPackDone) {
        console.err << "tilvane-pack: --strict: " << warnings
                    << (warnings == 1 ? " warning" : " warnings") << ", so the run fails\n"
                    << std::flush;
        return kPackDoneWithFailures;
    }
    return status;
}

}  // namespace tilvane
