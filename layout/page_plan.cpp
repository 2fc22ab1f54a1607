#include "layout/page_plan.h"

#include <algorithm>
#include <bit>

namespace tilvane {

namespace {

std::int64_t floorPow2(std::int64_t v) {
    return v < 1 ? 0 : static_cast<std::int64_t>(std::bit_floor(static_cast<std::uint64_t>(v)));
}

std::int64_t ceilPow2(std::int64_t v) {
    return static_cast<std::int64_t>(
        std::bit_ceil(static_cast<std::uint64_t>(std::max<std::int64_t>(v, 1))));
}

bool within(const FitLimits& l, std::int64_t w, std::int64_t h) {
    return w >= l.minWidth && w <= l.maxWidth && h >= l.minHeight && h <= l.maxHeight;
}

AtlasSize sizeOf(std::int64_t w, std::int64_t h) {
    return {static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)};
}

AtlasSize maximumOf(const FitLimits& l) {
    return sizeOf(l.maxWidth, l.maxHeight);
}

}  // namespace

AtlasSize largestOfShape(const FitLimits& l) {
    std::int64_t w = l.maxWidth;
    std::int64_t h = l.maxHeight;
    switch (l.shape) {
        case FitShape::any:
            break;
        case FitShape::pot:
            w = floorPow2(w);
            h = floorPow2(h);
            break;
        case FitShape::square:
            w = h = std::min(w, h);
            break;
        case FitShape::potSquare:
            w = h = floorPow2(std::min(w, h));
            break;
    }
    return within(l, w, h) ? sizeOf(w, h) : maximumOf(l);
}

AtlasSize leastOfShape(const FitLimits& l) {
    std::int64_t w = l.minWidth;
    std::int64_t h = l.minHeight;
    switch (l.shape) {
        case FitShape::any:
            break;
        case FitShape::pot:
            w = ceilPow2(w);
            h = ceilPow2(h);
            break;
        case FitShape::square:
            w = h = std::max(w, h);
            break;
        case FitShape::potSquare:
            w = h = ceilPow2(std::max(w, h));
            break;
    }
    return within(l, w, h) ? sizeOf(w, h) : maximumOf(l);
}

SizingPlan planPages(std::span<const Size> sprites, std::span<const std::size_t> leaders,
                     const LayoutRules& rules, const PlanRequest& request) {
    // With fit the largest atlas is the largest of the shape, which may be
    // smaller than the maximum on one side (a square in a wide maximum).
    const AtlasSize maximum =
        request.fit ? largestOfShape(request.limits) : maximumOf(request.limits);
    const auto leaderOf = [&](std::size_t k) {
        return k < leaders.size() && leaders[k] < k ? leaders[k] : k;
    };

    // Leaders that no atlas of the maximum size holds fail wherever they go;
    // on the first page they fail where a build of every sprite fails them.
    std::vector<bool> misfit(sprites.size(), false);
    std::vector<std::size_t> rest;
    for (std::size_t k = 0; k < sprites.size(); ++k) {
        if (leaderOf(k) != k) continue;
        misfit[k] = rules.packer == Packer::maxRects
                        ? !maxRectsFitsAlone(sprites[k], rules, {maximum.width, maximum.height})
                        : !placesAll({&sprites[k], 1}, rules, maximum.width, maximum.height);
        if (!misfit[k]) rest.push_back(k);
    }

    SizingPlan plan;
    std::vector<std::size_t> pageOf(sprites.size(), 0);
    std::vector<SpriteSlot> slotOf(sprites.size());
    // Per page, whether its places are known (always with maxRects).
    std::vector<bool> pageLaid;
    for (bool first = true; first || !rest.empty(); first = false) {
        const std::size_t number = plan.pages.size();
        std::vector<std::size_t> page;
        std::vector<std::size_t> left;
        // First-fit's places of the page's leaders: those that do not fit take
        // no room, so the others lie where a build of the page alone puts them.
        std::vector<SpriteSlot> laid;
        if (request.pages) {
            std::vector<Size> candidates;
            candidates.reserve(rest.size());
            for (const std::size_t k : rest) candidates.push_back(sprites[k]);
            std::vector<bool> placed;
            std::vector<Rect> rects;
            if (rules.packer == Packer::maxRects) {
                for (const SpriteSlot& slot : maxRectsLayout(
                         candidates, rules, {maximum.width, maximum.height}, request.threads)) {
                    placed.push_back(slot.placed);
                }
            } else {
                placed = firstFitPlaced(candidates, rules, maximum.width, maximum.height, &rects);
            }
            for (std::size_t j = 0; j < rest.size(); ++j) {
                (placed[j] ? page : left).push_back(rest[j]);
                if (placed[j] && !rects.empty()) laid.push_back(SpriteSlot{rects[j], true, false});
            }
        } else {
            page = std::move(rest);
        }

        PagePlan pagePlan{maximum, {}, {}};
        std::vector<Size> pageSizes;
        pageSizes.reserve(page.size());
        for (const std::size_t k : page) pageSizes.push_back(sprites[k]);
        bool laidOut = false;
        if (request.fit) {
            std::vector<Rect> rects;
            if (pageSizes.empty()) {
                pagePlan.size = leastOfShape(request.limits);
            } else if (rules.packer == Packer::maxRects) {
                if (auto fitted = maxRectsFit(pageSizes, rules, request.limits, request.threads)) {
                    pagePlan.size = fitted->size;
                    laid = std::move(fitted->places);
                    laidOut = true;
                } else {
                    plan.fitFailed = true;
                }
            } else if (const auto size =
                           findAtlasSize(pageSizes, rules, request.limits,
                                         budgetFor(pageSizes.size(), request.threads), &rects)) {
                pagePlan.size = *size;
                laid.clear();
                for (const Rect& r : rects) laid.push_back(SpriteSlot{r, true, false});
            } else {
                // The page keeps the maximum size, where the pages' own
                // placement (if any) put it.
                plan.fitFailed = true;
            }
        }
        if (rules.packer == Packer::maxRects && !laidOut) {
            laid = maxRectsLayout(pageSizes, rules, {pagePlan.size.width, pagePlan.size.height},
                                  request.threads);
        }
        pageLaid.push_back(rules.packer == Packer::maxRects ||
                           (!page.empty() && laid.size() == page.size()));
        for (std::size_t j = 0; j < page.size(); ++j) {
            pageOf[page[j]] = number;
            if (j < laid.size()) slotOf[page[j]] = laid[j];
        }
        plan.pages.push_back(std::move(pagePlan));
        rest = std::move(left);
    }
    // Every sprite in order on its page: misfits on the first, aliases with
    // their leader.
    for (std::size_t k = 0; k < sprites.size(); ++k) {
        const std::size_t leader = leaderOf(k);
        const std::size_t number = misfit[leader] ? 0 : pageOf[leader];
        plan.pages[number].sprites.push_back(k);
        if (pageLaid[number]) {
            // An alias's place is its leader's, found when it is drawn; a
            // misfit has none.
            plan.pages[number].places.push_back(leader == k && !misfit[k] ? slotOf[k]
                                                                          : SpriteSlot{});
        }
    }
    return plan;
}

}  // namespace tilvane
