#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "image/alpha_passes.h"
#include "image/blit.h"
#include "image/extrude.h"
#include "image/resample.h"
#include "job/aliases.h"
#include "job/build.h"
#include "job/file_scan.h"
#include "job/pages.h"
#include "layout/footprint.h"
#include "layout/placement.h"
#include "model/path_helpers.h"

namespace tilvane {

namespace {

// One flag for the whole process: a tick that arrives while a step (or a
// dialog the step opened) is still running must not start another.
bool stepGuard = false;

class StepGuardScope {
public:
    StepGuardScope() { stepGuard = true; }
    ~StepGuardScope() { stepGuard = false; }
    StepGuardScope(const StepGuardScope&) = delete;
    StepGuardScope& operator=(const StepGuardScope&) = delete;
};

bool contains(const Rect& outer, const Rect& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The pixels the scan kept for file f, when they are those a decode of path
// would give and hold the source rectangle the step draws; else null.
const KeptPixels* usableKept(const BuildJob& job, std::size_t index, const std::string& path) {
    const BuildRun& run = job.run;
    if (index >= run.keptPixels.size() || index >= run.originalSizes.size()) return nullptr;
    const KeptPixels& kept = run.keptPixels[index];
    // The settings may have changed since the scan (the dialog lets them), and
    // the file may have been replaced or removed.
    if (!kept.pixels || kept.path != path || stampOf(path) != kept.stamp) return nullptr;
    const Size size = run.originalSizes[index];
    Rect needed{0, 0, size.width - 1, size.height - 1};
    if (job.jobSpec.settings.cropMode != kCropNone) {
        const Rect& crop = run.cropRects[index];
        const Point offset = run.trimOffsets[index];
        needed = {offset.x, offset.y, offset.x + crop.width() - 1, offset.y + crop.height() - 1};
    }
    return contains(kept.area, needed) ? &kept : nullptr;
}

// File f shares the pixels of placed image `same`: it gets that rectangle and
// keeps its own name, offsets and source size.
void addAlias(BuildRun& run, std::size_t same, const std::string& name, std::int32_t f) {
    run.placedRects.push_back(run.placedRects[same]);
    run.occupiedRects.push_back(run.occupiedRects[same]);
    run.placedNames.push_back(name);
    run.placedFileIndices.push_back(f);
    run.placedTurns.push_back(run.placedTurns[same]);
    ++run.notes.aliased;
}

// The place first-fit's plan gives the current step's file, while the steps
// follow the plan and it gives one; else null.
const SpriteSlot* plannedPlace(const BuildRun& run) {
    if (!run.followsPlan || run.currentStep < 0 || run.page >= run.pages.size()) return nullptr;
    const std::vector<SpriteSlot>& places = run.pages[run.page].places;
    const auto step = static_cast<std::size_t>(run.currentStep);
    return step < places.size() && places[step].placed ? &places[step] : nullptr;
}

// The steps no longer place what first-fit's plan placed (a file failed, or
// its pixels proved to be another's or not): from here on they search, in
// everything placed so far.
void leavePlan(BuildRun& run) {
    if (!run.followsPlan) return;
    run.followsPlan = false;
    for (const Rect& r : run.occupiedRects) run.occupancy.add(r);
}

// Where a file goes: the planned slot when the maxRects packer planned one;
// first-fit's planned place while the steps follow its plan (the very place
// the search gives, as the plan placed the same footprints in the same
// order); else the first-fit scan's place in what is still free (the planned
// layout leaves an alias to its leader, and one whose pixels only looked alike
// finds room here). False when none has a place.
bool findPlace(BuildJob& job, const SpriteSlot* planned, Size sprite, Rect* occupied,
               bool* turned) {
    BuildRun& run = job.run;
    const LayoutRules rules = layoutRulesOf(job.jobSpec);
    const Size atlas{imageWidth(run.outputImage.get()), imageHeight(run.outputImage.get())};
    const Size footprint = footprintOf(sprite, rules, atlas);
    *turned = false;
    if (run.followsPlan) {
        if (const SpriteSlot* place = plannedPlace(run)) {
            // A plan made for other sizes or settings is not followed.
            const Rect& r = place->occupied;
            if (r.width() >= footprint.width && r.height() >= footprint.height && r.left >= 0 &&
                r.top >= 0 && r.right < atlas.width && r.bottom < atlas.height) {
                *occupied = r;
                return true;
            }
        } else if (!findPlacement(atlas.width, atlas.height, footprint.width, footprint.height,
                                  OccupancyIndex{}, rules.placement, occupied)) {
            // The plan places no file that fits no empty atlas, as none fits here.
            return false;
        }
        leavePlan(run);
    } else if (rules.packer == Packer::maxRects && planned && planned->placed) {
        *occupied = planned->occupied;
        *turned = planned->turned;
        return true;
    }
    // A maxRects planned place is in the index from the start; this one joins it.
    if (!findPlacement(atlas.width, atlas.height, footprint.width, footprint.height, run.occupancy,
                       rules.placement, occupied)) {
        return false;
    }
    run.occupancy.add(*occupied);
    return true;
}

// Measures and places file f, from the pixels the scan kept or from the file
// decoded again, where the plan put it (when it did); failures become failure
// texts.
void placeFile(BuildJob& job, std::int32_t f, const std::string& name, const SpriteSlot* planned) {
    const JobSettings& settings = job.jobSpec.settings;
    BuildRun& run = job.run;
    // With variants, a step's failure says which atlas it is of.
    const auto fail = [&job, &run](const std::string& file, std::string reason) {
        if (!job.jobSpec.extras.variants.empty()) {
            const PathParts atlas = splitPath(run.imageFile);
            reason += " (" + atlas.baseName + atlas.extension + ")";
        }
        addFailure(run, file, reason);
    };
    const auto index = static_cast<std::size_t>(f);
    // The per-file lists have one entry per listed file; an index beyond them
    // can only come from a list changed behind the build's back.
    if (f < 0 || index >= run.cropRects.size() || index >= run.trimOffsets.size() ||
        index >= run.keptPixels.size()) {
        fail(name, "failed to load");
        return;
    }

    const std::string path = settings.inputFolder + name;
    const KeptPixels* kept = usableKept(job, index, path);
    ImagePtr image;
    if (!kept) {
        // Only the bytes the scan measured may be drawn with its size and trim.
        bool changed = false;
        image = reloadListed(path, run.keptPixels[index].stamp, &changed);
        if (!image) {
            fail(name, changed ? "changed since it was listed" : "failed to load");
            return;
        }
        // The scan measured the image at the atlas's scale, and resampled it
        // alike: the same bytes give the same pixels.
        if (run.scale != 1) image = scaledImage(*image, run.scale);
        if (!image) {
            fail(name, "could not scale it");
            return;
        }
    }
    job.events.status("Adding: " + name);
    if (image) ensure32Bit(image);

    const bool cropped = settings.cropMode != kCropNone;
    // The size the plan counted: a file decoded again has its listed stamp,
    // so the size it was listed with.
    const auto [w, h] = placedSizeOf(settings, run, f);
    const Point offset = run.trimOffsets[index];
    const Rect source{offset.x, offset.y, offset.x + w - 1, offset.y + h - 1};
    // What is drawn: the kept pixels (the same rectangle, counted from the
    // kept area's corner) or the image decoded again.
    const PixelImage& pixels = kept ? *kept->pixels : *image;
    const Rect from = !cropped ? Rect{0, 0, w - 1, h - 1}
                      : kept   ? Rect{source.left - kept->area.left, source.top - kept->area.top,
                                    source.right - kept->area.left, source.bottom - kept->area.top}
                               : source;
    const BuildExtras& extras = job.jobSpec.extras;
    // The pixel passes work on the sprite alone and upright, so a turned one
    // is bled as its source is and no ring or neighbour counts: the copy they
    // finish is what is drawn, and what an alias is compared with.
    const PixelPasses passes{extras.bleed, extras.premultiply};
    const Rect whole{0, 0, w - 1, h - 1};
    ImagePtr finished;
    if (passes.any()) {
        finished = createPixelImage(w, h);
        if (!finished || !blitImage(finished.get(), &pixels, 0, 0, &from) ||
            !finishPixels(*finished, whole, passes)) {
            addFailure(run, name, "out of memory");
            return;
        }
    }
    const PixelImage& shown = finished ? *finished : pixels;
    const Rect shownRect = finished ? whole : from;
    // libGDX reads a turned region counter-clockwise, the JSON readers clockwise.
    const bool clockwise = extras.format != DataFormat::gdx;
    std::uint64_t hash = 0;
    if (extras.alias) {
        // The hash is the scan's, of the pixels as they were given.
        hash = pixelHash(pixels, from);
        if (const auto same = findIdenticalPlaced(run, shown, shownRect, hash, clockwise)) {
            addAlias(run, *same, name, f);
            return;
        }
    }
    Rect occupied;
    bool turned = false;
    // Timed as it runs, the index's append included: --timings' placing.
    const auto searched = std::chrono::steady_clock::now();
    const bool found = findPlace(job, planned, {w, h}, &occupied, &turned);
    run.placingSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - searched).count();
    if (!found) {
        fail(name, "no space left on output image");
        return;
    }
    // The footprint fits, so the sprite and its ring do too.
    const LayoutRules rules = layoutRulesOf(job.jobSpec);
    const auto [x, y] = spriteOrigin(occupied, rules);
    // A turned image's block is h x w.
    const Rect drawn = turned ? Rect{x, y, x + h - 1, y + w - 1} : Rect{x, y, x + w - 1, y + h - 1};
    if (turned) {
        blitTurned(run.outputImage.get(), &shown, x, y, shownRect, clockwise);
    } else {
        blitImage(run.outputImage.get(), &shown, x, y, finished || cropped ? &shownRect : nullptr);
    }
    if (rules.extrude > 0) extrudeEdges(*run.outputImage, drawn, rules.extrude);

    run.placedRects.push_back(drawn);
    run.occupiedRects.push_back(occupied);
    run.footprintArea += std::int64_t{occupied.width()} * occupied.height();
    run.placedNames.push_back(name);
    run.placedFileIndices.push_back(f);
    run.placedTurns.push_back(turned ? 1 : 0);
    if (extras.alias) rememberPlaced(run, hash);
}

}  // namespace

BuildOutcome buildStep(BuildJob& job) {
    BuildRun& run = job.run;
    const FileList& list = run.fileList;
    if (run.currentStep < 0 || !run.outputImage || list.count() == 0) return BuildOutcome::idle;
    if (job.events.cancelRequested()) {
        // Earlier pages are only staged: none of them lands.
        run.staged.discard();
        clearRun(run);
        run.currentStep = -1;
        job.events.status("You cancelled.");
        return BuildOutcome::cancelled;
    }
    if (run.currentStep == 0 && run.page == 0 && job.onPhase) job.onPhase(JobPhase::placing);

    // processOrder has one entry per listed file once armed; a step beyond it
    // has nothing left to place.
    const auto step = static_cast<std::size_t>(run.currentStep);
    if (step < run.processOrder.size()) {
        const std::int32_t f = run.processOrder[step];
        const std::optional<int> position = list.findValue(f);
        const std::size_t placedBefore = run.occupiedRects.size();
        const std::size_t aliasedBefore = run.notes.aliased;
        // A file index the list no longer holds has no name to load it by.
        const BuildRun::Page* page = run.page < run.pages.size() ? &run.pages[run.page] : nullptr;
        const SpriteSlot* planned =
            page && step < page->places.size() ? &page->places[step] : nullptr;
        if (position) placeFile(job, f, list.text(*position), planned);
        // A file first-fit's plan placed that took no room of its own leaves a
        // place the search would give the files after it.
        if (plannedPlace(run) &&
            (run.occupiedRects.size() == placedBefore || run.notes.aliased != aliasedBefore)) {
            leavePlan(run);
        }
        // Drawn or not, the file is done with: its kept pixels go.
        if (f >= 0 && static_cast<std::size_t>(f) < run.keptPixels.size()) {
            run.keptPixels[static_cast<std::size_t>(f)].pixels.reset();
        }
    }

    ++run.currentStep;
    // Every atlas of the job steps through the files.
    job.events.progress(
        JobPhase::placing, run.handledOnEarlierPages + static_cast<std::size_t>(run.currentStep),
        static_cast<std::size_t>(list.count()) * std::max<std::size_t>(run.variantFiles.size(), 1),
        {});
    if (run.currentStep >= list.count() ||
        static_cast<std::size_t>(run.currentStep) >= run.processOrder.size()) {
        return finishBuild(job);
    }
    return BuildOutcome::stepDone;
}

BuildOutcome onTimerTick(BuildJob& job, int timerId) {
    if (timerId != kBuildTimerId || stepGuard || job.run.currentStep == -1) {
        return BuildOutcome::idle;
    }
    StepGuardScope scope;
    return buildStep(job);
}

bool stepGuardActive() {
    return stepGuard;
}

}  // namespace tilvane
