#include "layout/stable_layout.h"

#include <algorithm>
#include <bit>
#include <map>

namespace tilvane {

namespace {

class FirstFitPacker final : public FreeSpacePacker {
public:
    FirstFitPacker(Size atlas, const PlacementSettings& settings)
        : atlas_(atlas), settings_(settings) {}

    void occupy(const Rect& rect) override { index_.add(rect); }

    bool place(Size upright, std::optional<Size> /*turned*/, Rect* occupied,
               bool* isTurned) override {
        Rect found;
        if (!findPlacement(atlas_.width, atlas_.height, upright.width, upright.height, index_,
                           settings_, &found)) {
            return false;
        }
        index_.add(found);
        *occupied = found;
        *isTurned = false;
        return true;
    }

private:
    Size atlas_;
    PlacementSettings settings_;
    OccupancyIndex index_;
};

bool ofShape(FitShape shape, Size s) {
    const auto pot = [](std::int32_t v) { return v > 0 && std::has_single_bit(std::uint32_t(v)); };
    switch (shape) {
        case FitShape::any:
            return true;
        case FitShape::pot:
            return pot(s.width) && pot(s.height);
        case FitShape::square:
            return s.width == s.height;
        case FitShape::potSquare:
            return s.width == s.height && pot(s.width);
    }
    return false;
}

// Whether a page of this size is one the request could have made.
bool pageSizeSuits(Size s, const PlanRequest& request) {
    const FitLimits& l = request.limits;
    if (!request.fit) return s.width == l.maxWidth && s.height == l.maxHeight;
    return s.width >= l.minWidth && s.width <= l.maxWidth && s.height >= l.minHeight &&
           s.height <= l.maxHeight && ofShape(l.shape, s);
}

}  // namespace

std::unique_ptr<FreeSpacePacker> makeFirstFitPacker(Size atlas, const PlacementSettings& settings) {
    return std::make_unique<FirstFitPacker>(atlas, settings);
}

bool anyOverlap(std::span<const Rect> rects) {
    // A sweep from left to right over the columns, holding the row ranges of
    // the rectangles it is inside; while none overlap they are disjoint, so a
    // new range need only be compared with its neighbours.
    struct Edge {
        std::int64_t x;
        bool opens;
        std::size_t rect;
    };
    std::vector<Edge> edges;
    edges.reserve(2 * rects.size());
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const Rect& r = rects[i];
        if (r.left > r.right || r.top > r.bottom) continue;  // holds no pixel
        edges.push_back({r.left, true, i});
        edges.push_back({std::int64_t{r.right} + 1, false, i});
    }
    // A rectangle that ends left of a column is gone before one starts there.
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) {
        return a.x != b.x ? a.x < b.x : (a.opens ? 1 : 0) < (b.opens ? 1 : 0);
    });
    std::map<std::int32_t, std::int32_t> rows;  // top -> bottom
    for (const Edge& e : edges) {
        const Rect& r = rects[e.rect];
        if (!e.opens) {
            rows.erase(r.top);
            continue;
        }
        const auto next = rows.lower_bound(r.top);
        if (next != rows.end() && next->first <= r.bottom) return true;
        if (next != rows.begin() && std::prev(next)->second >= r.top) return true;
        rows.emplace(r.top, r.bottom);
    }
    return false;
}

StableResult planStableLayout(std::span<const Size> sprites, std::span<const std::size_t> leaders,
                              const EarlierLayout& earlier, const LayoutRules& rules,
                              const PlanRequest& request, const PackerFactory& packer) {
    StableResult result;
    const std::vector<Size>& sizes = earlier.pages;
    // Every page was made for a sprite: more pages than sprites is no layout
    // this run should keep (and a file could ask for any number).
    if (sizes.empty() || (!request.pages && sizes.size() != 1) ||
        sizes.size() > std::max<std::size_t>(sprites.size(), 1) ||
        !std::all_of(sizes.begin(), sizes.end(),
                     [&](Size s) { return pageSizeSuits(s, request); })) {
        result.refusal = StableRefusal::otherSizes;
        return result;
    }
    const AtlasSize largest = request.fit
                                  ? largestOfShape(request.limits)
                                  : AtlasSize{static_cast<std::int32_t>(request.limits.maxWidth),
                                              static_cast<std::int32_t>(request.limits.maxHeight)};
    const auto leaderOf = [&](std::size_t k) {
        return k < leaders.size() && leaders[k] < k ? leaders[k] : k;
    };

    StablePlan plan;
    std::vector<SpriteSlot> slots(sprites.size());
    std::vector<std::size_t> pageOf(sprites.size(), 0);
    std::vector<bool> misfit(sprites.size(), false);
    std::vector<std::vector<Rect>> kept(sizes.size());
    std::vector<std::size_t> fresh;
    for (std::size_t k = 0; k < sprites.size(); ++k) {
        if (leaderOf(k) != k) continue;
        misfit[k] = rules.packer == Packer::maxRects
                        ? !maxRectsFitsAlone(sprites[k], rules, {largest.width, largest.height})
                        : !placesAll(sprites.subspan(k, 1), rules, largest.width, largest.height);
        if (misfit[k]) continue;
        const std::optional<EarlierPlacement>& was =
            k < earlier.sprites.size() ? earlier.sprites[k] : std::nullopt;
        const Size upright = sprites[k];
        const Size asWas = was && was->turned ? Size{upright.height, upright.width} : upright;
        if (!was || was->page >= sizes.size() || (was->turned && !rules.rotate) ||
            footprintOf(asWas, rules, sizes[was->page]) != was->footprint) {
            fresh.push_back(k);
            continue;
        }
        const Size page = sizes[was->page];
        Rect rect;
        if (!placementAt(page.width, page.height, was->footprint.width, was->footprint.height,
                         was->at, rules.placement, &rect)) {
            result.refusal = StableRefusal::broken;
            return result;
        }
        slots[k] = {rect, true, was->turned};
        pageOf[k] = was->page;
        kept[was->page].push_back(rect);
        ++plan.kept;
    }
    std::vector<std::unique_ptr<FreeSpacePacker>> packers;
    for (std::size_t p = 0; p < sizes.size(); ++p) {
        if (anyOverlap(kept[p])) {
            result.refusal = StableRefusal::broken;
            return result;
        }
        packers.push_back(packer(sizes[p], rules.placement));
        for (const Rect& rect : kept[p]) packers.back()->occupy(rect);
    }
    for (const std::size_t k : fresh) {
        bool found = false;
        const Size turned{sprites[k].height, sprites[k].width};
        for (std::size_t p = 0; p < sizes.size() && !found; ++p) {
            Rect rect;
            bool isTurned = false;
            const std::optional<Size> turnedFootprint =
                rules.rotate ? std::optional(footprintOf(turned, rules, sizes[p])) : std::nullopt;
            found = packers[p]->place(footprintOf(sprites[k], rules, sizes[p]), turnedFootprint,
                                      &rect, &isTurned);
            if (found) {
                slots[k] = {rect, true, isTurned};
                pageOf[k] = p;
            }
        }
        if (!found) {
            result.refusal = StableRefusal::noRoom;
            return result;
        }
        ++plan.placed;
    }

    // Every sprite in order on its page; aliases with their leader, misfits
    // on the first. Pages left empty at the end are dropped; one in the
    // middle stays, so no later page changes its number.
    std::vector<PagePlan> pages;
    for (const Size s : sizes) pages.push_back({{s.width, s.height}, {}, {}});
    for (std::size_t k = 0; k < sprites.size(); ++k) {
        const std::size_t leader = leaderOf(k);
        PagePlan& page = pages[misfit[leader] ? 0 : pageOf[leader]];
        page.sprites.push_back(k);
        page.places.push_back(slots[k]);
    }
    while (pages.size() > 1 && pages.back().sprites.empty()) pages.pop_back();
    plan.sizing.pages = std::move(pages);
    result.plan = std::move(plan);
    return result;
}

}  // namespace tilvane
