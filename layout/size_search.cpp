#include "layout/size_search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <thread>

#include "layout/footprint.h"

namespace tilvane {

// The search, and why it is exact where it says so.
//
// Heights. Take one width and the footprints fixed. First-fit tries positions
// in the order of rows, then columns; a position is refused because it meets
// an occupied rectangle, because it passes the right edge, or because it passes
// the bottom edge. Only the last depends on the height. So if every image finds
// a place in an atlas of some height, each one's place there is the first that
// neither meets an earlier image nor passes the right edge, whatever the
// height: the layout is the same at every height that holds it, and the
// smallest such height is its lowest occupied row + 1 + the border. Below that
// height the image holding the lowest row finds no place (every position after
// its own lies no higher). One replay at an atlas height of `limit` therefore
// says whether the smallest height is at most `limit`, and which it is.
//
// The footprints are not always fixed: the steps leave out an image's spacing
// when the atlas is at least as tall as the image but not as tall as image plus
// spacing. Between the values h and h + spacing of the images they are fixed,
// so the heights split into pieces, each searched as above; with a border at
// least half the spacing no piece but the last can hold every image.
//
// Widths. Success is not monotonic in the width (a wider atlas can need more
// rows), so no width stands for another. Every candidate width is tried, as
// long as they number at most the budget: the answer is then exact. Candidates
// run from the narrowest width whose smallest conceivable height (the tallest
// image, or the images' area over the width) fits the maximum height, to the
// maximum width (for squares, from the least side whose inside holds the
// images' area); a replay stops at the height where the best area found so far
// would be passed. Powers of two are few, so pot shapes are always exact.
//
// Beyond the budget the scan is coarse to fine. A walk starts at the least
// square side and moves to the side of a square as large as the last width
// times its smallest height (first-fit fills nearby widths about equally
// densely) until a width's smallest height is at most the width. For squares
// the sides below that one are then tried upwards, as many as the budget
// leaves, and the first that holds everything wins: exact when they reach the
// least side. The search for any shape tries all those widths as well, so its
// area is never larger than the square search's (unless a square of the walk is
// refused for the spacing rule above), then a quarter of the budget more: on
// every width up to the square's area over the tallest image when they are so
// few (exact again), else on a grid over the candidate widths up to there
// (none when the quarter is under three replays and the squares gave a size).

namespace {

constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();

// Widths replayed side by side, each against the best found before them: a
// batch decides as one, so the answer is the same on any number of threads.
// Two, as a batch costs one replay's time on two cores.
constexpr std::int64_t kBatch = 2;

struct Layout {
    std::span<const Size> images;
    const LayoutRules& rules;
    std::int64_t border = 0;
    std::int64_t tallest = 0;
    std::int64_t widest = 0;
};

// The smallest height holding every image at width x height with the
// footprint heights an atlas of `footprintHeight` gives, or none when it is
// above height. placed, when given, gets each image's rectangle (on success).
std::optional<std::int64_t> replay(const Layout& layout, std::int32_t width, std::int32_t height,
                                   std::int32_t footprintHeight,
                                   std::vector<Rect>* placed = nullptr) {
    OccupancyIndex index;
    std::vector<Rect> rects;
    if (placed) rects.reserve(layout.images.size());
    std::int64_t lowest = -1;
    for (const Size& image : layout.images) {
        const std::int32_t fw = footprintSide(image.width, layout.rules.spacing, width);
        const std::int32_t fh = footprintSide(image.height, layout.rules.spacing, footprintHeight);
        Rect occupied;
        if (!findPlacement(width, height, fw, fh, index, layout.rules.placement, &occupied)) {
            return std::nullopt;
        }
        index.add(occupied);
        if (placed) rects.push_back(occupied);
        lowest = std::max<std::int64_t>(lowest, occupied.bottom);
    }
    if (placed) *placed = std::move(rects);
    return lowest + 1 + layout.border;
}

// The least allowed height at or above h for the shape at width w, or a value
// above every limit when there is none.
std::int64_t nextAllowed(FitShape shape, std::int64_t w, std::int64_t h) {
    switch (shape) {
        case FitShape::any:
            return h;
        case FitShape::pot:
            return h <= (std::int64_t{1} << 31)
                       ? static_cast<std::int64_t>(std::bit_ceil(
                             static_cast<std::uint64_t>(std::max<std::int64_t>(h, 1))))
                       : kMaxSide + 1;
        case FitShape::square:
        case FitShape::potSquare:
            return h <= w ? w : kMaxSide + 1;
    }
    return kMaxSide + 1;
}

// The smallest allowed height at width w, from minHeight up to cap, that holds
// every image; none when there is none. closedAbove, when given, says whether
// every greater height up to cap holds them too (no piece starts between).
// placed, when given, gets the images' rectangles at that height: the replay's,
// as the footprints and the layout are the same at every height of its piece
// that holds them.
std::optional<std::int64_t> smallestHeight(const Layout& layout, const FitLimits& limits,
                                           std::int32_t w, std::int64_t cap,
                                           bool* closedAbove = nullptr,
                                           std::vector<Rect>* placed = nullptr) {
    const std::uint32_t spacing = layout.rules.spacing;
    // Heights at which some footprint changes: the pieces start at the tallest
    // image (below it one never fits) and at each h + spacing above it.
    std::vector<std::int64_t> starts{layout.tallest};
    for (const Size& image : layout.images) {
        const std::int64_t v = std::int64_t{image.height} + spacing;
        if (v > layout.tallest && v <= cap) starts.push_back(v);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());

    // Footprints of at least the image's area keep the height above it.
    std::int64_t area = 0;
    for (const Size& image : layout.images) {
        area += std::int64_t{footprintSide(image.width, spacing, w)} * image.height;
    }
    const std::int64_t inner = w - 2 * layout.border;
    if (inner <= 0) return std::nullopt;
    const std::int64_t byArea = (area + inner - 1) / inner + 2 * layout.border;

    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::int64_t lo = starts[i];
        const std::int64_t hi = std::min(i + 1 < starts.size() ? starts[i + 1] - 1 : kMaxSide, cap);
        std::int64_t tallestFootprint = 0;
        for (const Size& image : layout.images) {
            tallestFootprint = std::max<std::int64_t>(
                tallestFootprint,
                footprintSide(image.height, spacing, static_cast<std::int32_t>(lo)));
        }
        const std::int64_t least =
            std::max({lo, limits.minHeight, byArea, tallestFootprint + 2 * layout.border});
        if (nextAllowed(limits.shape, w, least) > hi) continue;
        const std::optional<std::int64_t> needed =
            replay(layout, w, static_cast<std::int32_t>(hi), static_cast<std::int32_t>(lo), placed);
        if (!needed) continue;
        const std::int64_t h = nextAllowed(limits.shape, w, std::max(least, *needed));
        if (h <= hi) {
            if (closedAbove) *closedAbove = i + 1 == starts.size();
            return h;
        }
    }
    return std::nullopt;
}

struct Candidate {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t area() const { return width * height; }
};

// Smaller area, then squarer, then narrower.
bool better(const Candidate& a, const Candidate& b) {
    if (a.area() != b.area()) return a.area() < b.area();
    const std::int64_t da = std::abs(a.width - a.height), db = std::abs(b.width - b.height);
    if (da != db) return da < db;
    return a.width < b.width;
}

class Search {
public:
    Search(const Layout& layout, const FitLimits& limits, SearchBudget budget)
        : layout_(layout), limits_(limits), budget_(budget) {
        for (const Size& image : layout.images) {
            area_ += std::int64_t{image.width} * image.height;
        }
    }

    // The least width worth trying: every image fits it, and the images' area
    // leaves a height within the maximum.
    std::int64_t narrowest(bool square) const {
        const std::int64_t border = layout_.border;
        std::int64_t w = std::max(limits_.minWidth, layout_.widest + 2 * border);
        const std::int64_t innerHeight = limits_.maxHeight - 2 * border;
        if (innerHeight <= 0) return kMaxSide + 1;
        w = std::max(w, (area_ + innerHeight - 1) / innerHeight + 2 * border);
        if (square) {
            std::int64_t side = std::max(limits_.minHeight, layout_.tallest + 2 * border);
            const auto root = static_cast<std::int64_t>(std::sqrt(static_cast<double>(area_)));
            side = std::max(side, root - 1 + 2 * border);
            while ((side - 2 * border) * (side - 2 * border) < area_) ++side;
            w = std::max(w, side);
        }
        return w;
    }

    std::int64_t widest(bool square) const {
        return square ? std::min(limits_.maxWidth, limits_.maxHeight) : limits_.maxWidth;
    }

    // The scan for squares: every side when they fit the budget, else the walk,
    // then the sides below where it stopped, upwards, as many as the budget
    // leaves; the greatest side when the walk never stopped. Each ends at the
    // first width whose smallest height (of the search's own shape) is at most
    // the width: for squares the answer, for any shape an area no larger, and
    // up to there the same widths as the square search.
    void squareScan(std::int64_t budget) {
        const std::int64_t lo = narrowest(true);
        const std::int64_t hi = widest(true);
        if (lo > hi) return;
        if (hi - lo + 1 <= budget) {
            tryWidths(range(lo, hi, 1), true);
        } else if (const auto stop = walk(lo, hi, budget / 2)) {
            // Whole batches only: a batch costs one replay's time however full.
            const std::int64_t m = std::max<std::int64_t>((budget - replays_) / kBatch, 1) * kBatch;
            tryWidths(range(std::max(lo, *stop - m), *stop - 1, 1), true);
        } else {
            tryWidths({hi}, true);
        }
    }

    // Tries the widths, a batch at a time, each against the best found
    // before its batch. Gives whether one of them holds every image at a
    // height no greater than the width; `stopAtSquare` ends after the batch
    // holding the first.
    bool tryWidths(const std::vector<std::int64_t>& widths, bool stopAtSquare) {
        const auto batch = static_cast<std::size_t>(kBatch);
        bool square = false;
        for (std::size_t at = 0; at < widths.size(); at += batch) {
            const std::size_t n = std::min(batch, widths.size() - at);
            std::vector<std::optional<std::int64_t>> heights(n);
            std::vector<std::vector<Rect>> placed(n);
            const std::optional<Candidate> before = best_;
            replayAll(n, [&](std::size_t k) {
                heights[k] = evaluate(widths[at + k], before, &placed[k]);
            });
            for (std::size_t k = 0; k < n; ++k) {
                if (!heights[k]) continue;
                square = square || *heights[k] <= widths[at + k];
                consider({widths[at + k], *heights[k]}, placed[k]);
            }
            if (square && stopAtSquare) return true;
        }
        return square;
    }

    // The rectangles of every image at the best size found, in their order.
    std::vector<Rect>& bestPlaced() { return bestPlaced_; }

    std::optional<AtlasSize> run() {
        const bool square =
            limits_.shape == FitShape::square || limits_.shape == FitShape::potSquare;
        const std::int64_t lo = narrowest(square);
        const std::int64_t hi = widest(square);
        if (lo > hi) return std::nullopt;
        const auto budget = static_cast<std::int64_t>(std::max(budget_.replays, 4));
        std::vector<std::int64_t> widths;
        switch (limits_.shape) {
            case FitShape::pot:
            case FitShape::potSquare:
                for (std::int64_t w = 1; w <= hi; w *= 2) {
                    if (w >= lo) widths.push_back(w);
                }
                tryWidths(widths, limits_.shape == FitShape::potSquare);
                break;
            case FitShape::square:
                squareScan(budget);
                break;
            case FitShape::any:
                if (hi - lo + 1 <= budget) {
                    tryWidths(range(lo, hi, 1), false);
                } else {
                    // Every width the square search tries, so that the answer
                    // is never larger than its; then a grid over every width
                    // with a quarter more.
                    squareScan(budget);
                    const std::int64_t left = budget / 4;
                    // No width above the best area over the least height can
                    // do better: when few are left below it, all of them are
                    // tried and the answer is exact.
                    std::int64_t bound = hi;
                    if (best_) {
                        const std::int64_t least =
                            std::max(limits_.minHeight, layout_.tallest + 2 * layout_.border);
                        bound = std::min(hi, best_->area() / least);
                        if (bound - lo + 1 <= left) {
                            tryWidths(range(lo, bound, 1), false);
                            break;
                        }
                    }
                    // A grid of two would try only the extremes, which
                    // first-fit rarely favours: with so little budget left the
                    // square search's answer stands, when it found one.
                    if (best_ && left < 3) break;
                    const std::int64_t k = std::max<std::int64_t>(
                        (bound - lo) / (std::max<std::int64_t>(left, 2) - 1), 1);
                    std::vector<std::int64_t> grid = range(lo, bound, k);
                    if (grid.back() != bound) grid.push_back(bound);
                    tryWidths(grid, false);
                }
                break;
        }
        if (!best_ || failed_) return std::nullopt;
        return AtlasSize{static_cast<std::int32_t>(best_->width),
                         static_cast<std::int32_t>(best_->height)};
    }

private:
    // From width `from` towards the width whose smallest height is no greater:
    // each round replays a batch of widths, the first round from `from`
    // upwards in steps of a hundredth, each later one from the side of a
    // square as large as the widest probe times its smallest height (first-fit
    // fills about as densely at nearby widths) upwards in steps of a quarter
    // of the last move. Every width it replays is a candidate. Gives the
    // narrowest probe whose smallest height is at most its width (for squares:
    // that holds a square of its side), or none within `steps` replays.
    std::optional<std::int64_t> walk(std::int64_t from, std::int64_t to, std::int64_t steps) {
        FitLimits anyShape = limits_;
        anyShape.shape = FitShape::any;
        const bool square = limits_.shape == FitShape::square;
        std::int64_t base = from;
        std::int64_t gap = std::max<std::int64_t>(from / 100, 1);
        while (base <= to && replays_ < steps) {
            std::vector<std::int64_t> probes;
            for (std::int64_t k = 0; k < kBatch && base + k * gap <= to; ++k) {
                probes.push_back(base + k * gap);
            }
            const auto n = probes.size();
            std::vector<std::optional<std::int64_t>> heights(n);
            std::vector<std::vector<Rect>> placed(n);
            std::vector<char> closed(n, 0);
            replayAll(n, [&](std::size_t k) {
                bool closedAbove = false;
                heights[k] = smallestHeight(layout_, anyShape, static_cast<std::int32_t>(probes[k]),
                                            anyShape.maxHeight, &closedAbove, &placed[k]);
                closed[k] = closedAbove ? 1 : 0;
            });
            for (std::size_t k = 0; k < n; ++k) {
                const std::optional<std::int64_t>& h = heights[k];
                const std::int64_t w = probes[k];
                if (h && *h <= w) {
                    if (!square) {
                        consider({w, *h}, placed[k]);
                        return w;
                    }
                    // Every height from h up holds the images, the side w
                    // too, in the same layout; otherwise the square is
                    // replayed itself.
                    if (closed[k]) {
                        consider({w, w}, placed[k]);
                        return w;
                    }
                    if (tryWidths({w}, true)) return w;
                } else if (h && !square) {
                    consider({w, *h}, placed[k]);
                }
            }
            const std::int64_t w = probes.back();
            const std::optional<std::int64_t>& h = heights.back();
            const std::int64_t next =
                h ? static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(w) * *h)))
                  : w + std::max<std::int64_t>((to - w) / 8, 1);
            gap = std::max<std::int64_t>((std::max(w + 1, next) - w) / 4, 1);
            base = std::max(w + 1, next);
        }
        return std::nullopt;
    }

    // Runs replay(0) .. replay(n - 1) on up to the budget's threads, this one
    // included (all here when no thread is to be had), and counts them.
    // Nothing may escape a thread; a replay that ran out of memory spoils the
    // whole answer rather than one width of it.
    void replayAll(std::size_t n, const std::function<void(std::size_t)>& replay) {
        std::vector<char> broke(n, 0);
        const std::size_t lanes =
            std::min(n, static_cast<std::size_t>(std::max(budget_.threads, 1)));
        const auto work = [&](std::size_t lane) {
            for (std::size_t k = lane; k < n; k += lanes) {
                try {
                    replay(k);
                } catch (...) {
                    broke[k] = 1;
                }
            }
        };
        {
            std::vector<std::jthread> pool;
            std::size_t lane = 1;
            try {
                for (; lane < lanes; ++lane) pool.emplace_back(work, lane);
            } catch (...) {
                for (; lane < lanes; ++lane) work(lane);
            }
            if (n > 0) work(0);
        }
        replays_ += static_cast<std::int64_t>(n);
        if (std::find(broke.begin(), broke.end(), 1) != broke.end()) failed_ = true;
    }

    void consider(const Candidate& c, std::vector<Rect>& placed) {
        if (!best_ || better(c, *best_)) {
            best_ = c;
            bestPlaced_ = std::move(placed);
        }
    }

    // The smallest height at width w up to the maximum; none also when the
    // replay ran out of memory, which spoils the answer.
    std::optional<std::int64_t> heightAt(const FitLimits& limits, std::int64_t w,
                                         bool* closedAbove) {
        try {
            return smallestHeight(layout_, limits, static_cast<std::int32_t>(w), limits.maxHeight,
                                  closedAbove);
        } catch (...) {
            failed_ = true;
            return std::nullopt;
        }
    }

    static std::vector<std::int64_t> range(std::int64_t from, std::int64_t to, std::int64_t step) {
        std::vector<std::int64_t> widths;
        for (std::int64_t w = from; w <= to; w += step) widths.push_back(w);
        return widths;
    }

    // The smallest allowed height at width w that can still match the best
    // found (an equal area may win on shape), or none.
    std::optional<std::int64_t> evaluate(std::int64_t w, const std::optional<Candidate>& best,
                                         std::vector<Rect>* placed) const {
        std::int64_t cap = limits_.maxHeight;
        if (best) cap = std::min(cap, best->area() / w);
        if (cap < limits_.minHeight) return std::nullopt;
        return smallestHeight(layout_, limits_, static_cast<std::int32_t>(w), cap, nullptr, placed);
    }

    const Layout& layout_;
    const FitLimits& limits_;
    SearchBudget budget_;
    std::int64_t area_ = 0;
    std::optional<Candidate> best_;
    std::vector<Rect> bestPlaced_;
    bool failed_ = false;
    std::int64_t replays_ = 0;
};

bool validSide(std::int64_t side) {
    return side >= 1 && side <= kMaxSide;
}

}  // namespace

SearchBudget budgetFor(std::size_t images, int threads) {
    // The first batch of two widths costs what the build's own placement
    // would (the build draws where the winning replay placed); the batches
    // after it should cost about a tenth of the build, as past the first few
    // they gain a few tenths of a percent of area at most. Measured on
    // generated sprites (bench/pack_benchmark.cpp, BM_Floor): a build costs
    // about 0.1 ms an image and a batch about 0.23 us an image times the
    // square root of their count (each placement scans about an atlas side),
    // so the batches that fit are 1 + 40 / sqrt(images).
    const double batches =
        1.0 + 40.0 / std::sqrt(static_cast<double>(std::max<std::size_t>(images, 1)));
    const auto replays = static_cast<int>(kBatch * std::lround(batches));
    return SearchBudget{std::clamp(replays, 4, 4096), std::max(threads, 1)};
}

bool placesAll(std::span<const Size> images, const LayoutRules& rules, std::int32_t width,
               std::int32_t height) {
    if (width <= 0 || height <= 0) return false;
    const std::vector<Size> ringed = ringedSizes(images, rules.extrude);
    const Layout layout{ringed, rules, static_cast<std::int32_t>(rules.placement.borderSize)};
    return replay(layout, width, height, height).has_value();
}

std::vector<bool> firstFitPlaced(std::span<const Size> images, const LayoutRules& rules,
                                 std::int32_t width, std::int32_t height,
                                 std::vector<Rect>* rects) {
    std::vector<bool> placed(images.size(), false);
    if (rects) rects->assign(images.size(), Rect{});
    OccupancyIndex index;
    for (std::size_t k = 0; k < images.size(); ++k) {
        const Size footprint = footprintOf(images[k], rules, {width, height});
        Rect occupied;
        if (findPlacement(width, height, footprint.width, footprint.height, index, rules.placement,
                          &occupied)) {
            index.add(occupied);
            placed[k] = true;
            if (rects) (*rects)[k] = occupied;
        }
    }
    return placed;
}

namespace {

// The least power of two at or above lo, when it is at most hi.
std::optional<std::int64_t> powerOfTwoWithin(std::int64_t lo, std::int64_t hi) {
    const auto p = static_cast<std::int64_t>(
        std::bit_ceil(static_cast<std::uint64_t>(std::max<std::int64_t>(lo, 1))));
    if (p > hi) return std::nullopt;
    return p;
}

std::string between(const char* what, std::int64_t lo, std::int64_t hi) {
    return std::string("between the ") + what + " " + std::to_string(lo) + " and " +
           std::to_string(hi);
}

}  // namespace

std::optional<std::string> fitLimitsRefusal(const FitLimits& l) {
    const std::string none = std::string("no atlas size between ") + std::to_string(l.minWidth) +
                             "x" + std::to_string(l.minHeight) + " and " +
                             std::to_string(l.maxWidth) + "x" + std::to_string(l.maxHeight);
    if (std::min({l.minWidth, l.minHeight, l.maxWidth, l.maxHeight}) < 1) {
        return none + ": a side is at least 1";
    }
    if (std::max({l.minWidth, l.minHeight, l.maxWidth, l.maxHeight}) > kMaxSide) {
        return none + ": a side is at most " + std::to_string(kMaxSide);
    }
    if (l.minWidth > l.maxWidth) return none + ": the minimum width is above the maximum";
    if (l.minHeight > l.maxHeight) return none + ": the minimum height is above the maximum";
    const std::string widths = between("widths", l.minWidth, l.maxWidth);
    const std::string heights = between("heights", l.minHeight, l.maxHeight);
    const std::int64_t lo = std::max(l.minWidth, l.minHeight);
    const std::int64_t hi = std::min(l.maxWidth, l.maxHeight);
    switch (l.shape) {
        case FitShape::any:
            break;
        case FitShape::pot:
            if (!powerOfTwoWithin(l.minWidth, l.maxWidth)) {
                return none + " has power-of-two sides: no power of two lies " + widths;
            }
            if (!powerOfTwoWithin(l.minHeight, l.maxHeight)) {
                return none + " has power-of-two sides: no power of two lies " + heights;
            }
            break;
        case FitShape::square:
            if (lo > hi)
                return none + " is square: no side lies both " + widths + " and " + heights;
            break;
        case FitShape::potSquare:
            if (!powerOfTwoWithin(lo, hi)) {
                return none + " is a square with a power-of-two side: no power of two lies both " +
                       widths + " and " + heights;
            }
            break;
    }
    return std::nullopt;
}

std::optional<AtlasSize> findAtlasSize(std::span<const Size> images, const LayoutRules& rules,
                                       const FitLimits& limits, SearchBudget budget,
                                       std::vector<Rect>* placed) {
    if (images.empty()) return std::nullopt;
    if (!validSide(limits.minWidth) || !validSide(limits.minHeight) ||
        !validSide(limits.maxWidth) || !validSide(limits.maxHeight)) {
        return std::nullopt;
    }
    const auto border = static_cast<std::int32_t>(rules.placement.borderSize);
    // A border of 2^31 or more leaves no place in any atlas.
    if (border < 0) return std::nullopt;
    // The search works on the sprites with their rings: the footprint rule
    // then only adds the spacing, which its height pieces account for.
    const std::vector<Size> ringed = ringedSizes(images, rules.extrude);
    Layout layout{ringed, rules, border};
    for (const Size& image : ringed) {
        if (image.width <= 0 || image.height <= 0) return std::nullopt;
        layout.widest = std::max<std::int64_t>(layout.widest, image.width);
        layout.tallest = std::max<std::int64_t>(layout.tallest, image.height);
    }
    Search search(layout, limits, budget);
    const std::optional<AtlasSize> size = search.run();
    if (size && placed) *placed = std::move(search.bestPlaced());
    return size;
}

}  // namespace tilvane
