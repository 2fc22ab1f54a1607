#include "job/kept_layout.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "job/pages.h"
#include "layout/stable_layout.h"

namespace tilvane {

namespace {

bool sameRules(const LayoutRules& a, const LayoutRules& b) {
    return a.spacing == b.spacing && a.extrude == b.extrude &&
           a.placement.borderSize == b.placement.borderSize &&
           a.placement.gridAlignX == b.placement.gridAlignX &&
           a.placement.gridAlignY == b.placement.gridAlignY;
}

}  // namespace

bool planKeptLayout(BuildJob& job) {
    BuildRun& run = job.run;
    KeptLayoutNotes& notes = run.notes.keptLayout;
    const std::string& path = job.jobSpec.extras.keepLayoutFile;
    if (path.empty()) return false;
    const LayoutFileRead read = readLayoutFile(path);
    if (read.state == LayoutFileRead::State::unusable) notes.unusable = read.problem;
    if (read.state != LayoutFileRead::State::read) return false;
    const LayoutRecord& record = read.record;
    const LayoutRules rules = layoutRulesOf(job.jobSpec);
    if (!sameRules(record.rules, rules)) {
        notes.repacked = "the spacing, extrusion, border or grid changed";
        return false;
    }

    const std::vector<std::int32_t> order = run.processOrder;
    const std::vector<Size> sizes = placedSizes(job.jobSpec.settings, run, order);
    std::unordered_map<std::string_view, const LayoutRecord::Sprite*> byKey;
    for (const LayoutRecord::Sprite& sprite : record.sprites) byKey.emplace(sprite.key, &sprite);
    EarlierLayout earlier{record.pages, {}};
    earlier.sprites.reserve(order.size());
    std::unordered_map<std::int32_t, std::string_view> nameOf;
    for (const FileList::Entry& entry : run.fileList.entries())
        nameOf.emplace(entry.value, entry.name);
    for (const std::int32_t f : order) {
        const auto name = nameOf.find(f);
        const auto found = name != nameOf.end() ? byKey.find(name->second) : byKey.end();
        if (found == byKey.end()) {
            earlier.sprites.emplace_back();
        } else {
            const LayoutRecord::Sprite& s = *found->second;
            earlier.sprites.push_back(EarlierPlacement{s.page, s.footprint, s.at, s.turned});
        }
    }
    const StableResult result = planStableLayout(sizes, aliasLeaders(job, order, sizes), earlier,
                                                 rules, planRequestOf(job.jobSpec));
    if (!result.plan) {
        switch (result.refusal) {
            case StableRefusal::broken:
                notes.unusable = "a sprite's place in it is one placement could not have made";
                break;
            case StableRefusal::otherSizes:
                notes.repacked = "the atlas size or the page count no longer suits the options";
                break;
            case StableRefusal::noRoom:
                notes.repacked = "the new and changed sprites do not fit beside the kept ones";
                break;
        }
        return false;
    }
    const StablePlan& plan = *result.plan;
    notes.kept = true;
    notes.keptSprites = plan.kept;
    notes.placedSprites = plan.placed;
    usePagePlan(run, plan.sizing, order);
    return true;
}

LayoutRecord layoutRecordOf(const JobSpec& jobSpec, const BuildRun& run) {
    LayoutRecord record;
    record.rules = layoutRulesOf(jobSpec);
    for (std::size_t p = 0; p < run.drawnPages.size(); ++p) {
        const BuildRun::DrawnPage& page = run.drawnPages[p];
        record.pages.push_back(page.size);
        std::set<std::pair<std::int32_t, std::int32_t>> taken;
        const std::size_t count =
            std::min({page.names.size(), page.rects.size(), page.occupied.size()});
        for (std::size_t i = 0; i < count; ++i) {
            const Rect& occupied = page.occupied[i];
            if (!taken.emplace(occupied.left, occupied.top).second) continue;  // an alias
            // A turned entry's rectangle is the turned block, its footprint the turned one.
            const Size drawn{page.rects[i].width(), page.rects[i].height()};
            const bool turned = i < page.turns.size() && page.turns[i] != 0;
            record.sprites.push_back({page.names[i],
                                      p,
                                      footprintOf(drawn, record.rules, page.size),
                                      {occupied.left, occupied.top},
                                      turned});
        }
    }
    return record;
}

}  // namespace tilvane
