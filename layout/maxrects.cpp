#include "layout/maxrects.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <numeric>
#include <thread>

namespace tilvane {

namespace {

constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();

enum class Heuristic { shortSide, longSide, area, bottomLeft, contact };
enum class Order { area, longest, perimeter, given };

struct Trial {
    Heuristic heuristic;
    Order order;
};

// Every pair, in the order a smaller budget takes them: the pairs that packed
// generated sprite sets densest first (bench/pack_benchmark.cpp, BM_MaxRects),
// and bottom-left early, since the size search relies on it (see below).
constexpr std::array<Trial, 20> kTrials = {{
    {Heuristic::shortSide, Order::area},      {Heuristic::bottomLeft, Order::longest},
    {Heuristic::shortSide, Order::longest},   {Heuristic::area, Order::area},
    {Heuristic::contact, Order::area},        {Heuristic::longSide, Order::area},
    {Heuristic::shortSide, Order::perimeter}, {Heuristic::bottomLeft, Order::area},
    {Heuristic::contact, Order::longest},     {Heuristic::area, Order::longest},
    {Heuristic::longSide, Order::longest},    {Heuristic::bottomLeft, Order::perimeter},
    {Heuristic::contact, Order::perimeter},   {Heuristic::area, Order::perimeter},
    {Heuristic::longSide, Order::perimeter},  {Heuristic::shortSide, Order::given},
    {Heuristic::bottomLeft, Order::given},    {Heuristic::area, Order::given},
    {Heuristic::contact, Order::given},       {Heuristic::longSide, Order::given},
}};

// Placements (sprites times pairs) a layout may spend: every pair for up to
// 1,000 sprites, two for 10,000. The contact heuristic costs several times the
// others, so it only enters the smaller budgets' lists anyway.
constexpr std::size_t kTrialPlacements = 20000;

std::int64_t alignUp(std::int64_t step, std::int64_t v) {
    if (step <= 1) return v;
    const std::int64_t rem = v % step;
    return rem == 0 ? v : v + step - rem;
}

// A right or bottom edge extended to the end of its grid cell unless it
// already sits on a multiple of the step, as placement extends it.
std::int64_t extendEdge(std::int64_t step, std::int64_t edge) {
    const std::int64_t up = alignUp(step, edge);
    return up > edge ? up - 1 : edge;
}

std::int32_t activeStep(std::uint32_t stored) {
    const auto step = static_cast<std::int32_t>(stored);
    return step >= 2 ? step : 1;
}

// The part of the atlas sprites may start and end in: columns startX up to
// but not including limitX, likewise rows. Starts lie on the grid.
struct Frame {
    std::int32_t startX = 0, startY = 0, limitX = 0, limitY = 0;
    std::int32_t stepX = 1, stepY = 1;
};

std::optional<Frame> frameOf(Size atlas, const PlacementSettings& settings) {
    const auto border = static_cast<std::int32_t>(settings.borderSize);
    // A border of 2^31 or more leaves no place, as for first-fit.
    if (atlas.width <= 0 || atlas.height <= 0 || border < 0) return std::nullopt;
    Frame f;
    f.stepX = activeStep(settings.gridAlignX);
    f.stepY = activeStep(settings.gridAlignY);
    const std::int64_t startX = alignUp(f.stepX, border), startY = alignUp(f.stepY, border);
    const std::int64_t limitX = std::int64_t{atlas.width} - border;
    const std::int64_t limitY = std::int64_t{atlas.height} - border;
    if (startX >= limitX || startY >= limitY) return std::nullopt;
    f.startX = static_cast<std::int32_t>(startX);
    f.startY = static_cast<std::int32_t>(startY);
    f.limitX = static_cast<std::int32_t>(limitX);
    f.limitY = static_cast<std::int32_t>(limitY);
    return f;
}

// One orientation of a sprite: its extent (footprint with grid extension) and
// what it takes of the free space, the extent up to the next grid line (no
// sprite on the grid could start in between without meeting it), so that
// every free rectangle starts on the grid.
struct Need {
    std::int32_t w = 0, h = 0;
    std::int32_t takeW = 0, takeH = 0;
    bool ok = false;
};

Need needOf(Size footprint, const Frame& f) {
    Need n;
    if (footprint.width <= 0 || footprint.height <= 0) return n;
    const std::int64_t w =
        extendEdge(f.stepX, std::int64_t{f.startX} + footprint.width - 1) - f.startX + 1;
    const std::int64_t h =
        extendEdge(f.stepY, std::int64_t{f.startY} + footprint.height - 1) - f.startY + 1;
    if (w > f.limitX - f.startX || h > f.limitY - f.startY) return n;
    n.w = static_cast<std::int32_t>(w);
    n.h = static_cast<std::int32_t>(h);
    n.takeW = static_cast<std::int32_t>(std::min<std::int64_t>(alignUp(f.stepX, w), kMaxSide));
    n.takeH = static_cast<std::int32_t>(std::min<std::int64_t>(alignUp(f.stepY, h), kMaxSide));
    n.ok = true;
    return n;
}

// A free rectangle, right and bottom exclusive.
struct Free {
    std::int32_t x, y, r, b;
};

bool contains(const Free& outer, const Free& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.r <= outer.r && inner.b <= outer.b;
}

// What every pair packs: the sprites' two orientations in one atlas, and the
// sprites in each order.
struct Problem {
    Frame frame;
    // needs[2k] upright, needs[2k + 1] turned (not ok when turning is not
    // allowed or changes nothing).
    std::vector<Need> needs;
    std::array<std::vector<std::uint32_t>, 4> orders;
    std::size_t count = 0;
};

Problem makeProblem(std::span<const Size> sprites, const LayoutRules& rules, Size atlas,
                    const Frame& frame) {
    Problem p;
    p.frame = frame;
    p.count = sprites.size();
    p.needs.resize(2 * sprites.size());
    std::vector<Size> ringed = ringedSizes(sprites, rules.extrude);
    for (std::size_t k = 0; k < sprites.size(); ++k) {
        p.needs[2 * k] = needOf(footprintOf(sprites[k], rules, atlas), frame);
        const Size turned{sprites[k].height, sprites[k].width};
        if (rules.rotate && turned.width != turned.height) {
            p.needs[2 * k + 1] = needOf(footprintOf(turned, rules, atlas), frame);
        }
    }
    for (std::size_t o = 0; o < p.orders.size(); ++o) {
        std::vector<std::uint32_t>& order = p.orders[o];
        order.resize(sprites.size());
        std::iota(order.begin(), order.end(), 0u);
        if (static_cast<Order>(o) == Order::given) continue;
        std::vector<std::int64_t> key(sprites.size());
        for (std::size_t k = 0; k < sprites.size(); ++k) {
            const std::int64_t w = ringed[k].width, h = ringed[k].height;
            switch (static_cast<Order>(o)) {
                case Order::area:
                    key[k] = w * h;
                    break;
                case Order::longest:
                    // The longer side, then the shorter one.
                    key[k] = std::max(w, h) * (kMaxSide + 1) + std::min(w, h);
                    break;
                case Order::perimeter:
                    key[k] = w + h;
                    break;
                case Order::given:
                    break;
            }
        }
        std::stable_sort(order.begin(), order.end(),
                         [&key](std::uint32_t a, std::uint32_t b) { return key[a] > key[b]; });
    }
    return p;
}

// The occupied rectangles seen by the contact heuristic, found by bands of rows.
class ContactIndex {
public:
    explicit ContactIndex(const Frame& f) : frame_(f) {}

    void add(const Free& r) {
        const std::size_t index = rects_.size();
        rects_.push_back(r);
        for (std::int64_t band = bandOf(r.y); band <= bandOf(r.b - 1); ++band) {
            if (bands_.size() <= static_cast<std::size_t>(band)) bands_.resize(band + 1);
            bands_[static_cast<std::size_t>(band)].push_back(static_cast<std::uint32_t>(index));
        }
    }

    // The length of the rectangle's edges that touch the frame's edges or an
    // occupied rectangle.
    std::int64_t contact(const Free& c) const {
        std::int64_t sum = 0;
        if (c.x == frame_.startX || c.r == frame_.limitX) sum += c.b - c.y;
        if (c.y == frame_.startY || c.b == frame_.limitY) sum += c.r - c.x;
        if (c.x == frame_.startX && c.r == frame_.limitX) sum += c.b - c.y;
        if (c.y == frame_.startY && c.b == frame_.limitY) sum += c.r - c.x;
        const std::int64_t first = bandOf(c.y - 1), last = bandOf(c.b);
        for (std::int64_t band = std::max<std::int64_t>(first, 0);
             band <= last && static_cast<std::size_t>(band) < bands_.size(); ++band) {
            for (const std::uint32_t i : bands_[static_cast<std::size_t>(band)]) {
                const Free& r = rects_[i];
                // Counted once: in the first band both share.
                if (std::max(bandOf(r.y), std::max<std::int64_t>(first, 0)) != band) continue;
                if (r.r == c.x || r.x == c.r) {
                    sum += std::max(0, std::min(r.b, c.b) - std::max(r.y, c.y));
                }
                if (r.b == c.y || r.y == c.b) {
                    sum += std::max(0, std::min(r.r, c.r) - std::max(r.x, c.x));
                }
            }
        }
        return sum;
    }

private:
    static constexpr std::int64_t kBand = 128;
    std::int64_t bandOf(std::int64_t row) const { return (row - frame_.startY) / kBand; }

    Frame frame_;
    std::vector<Free> rects_;
    std::vector<std::vector<std::uint32_t>> bands_;
};

// The maximal free rectangles, one array per edge so that the scans over all
// of them run several rectangles a step.
class FreeList {
public:
    // What carving works in, kept between sprites.
    struct Scratch {
        std::vector<Free> pieces;
        std::vector<Free> touching;
        std::vector<std::uint32_t> met, near;
    };

    std::size_t size() const { return x_.size(); }
    Free at(std::size_t j) const { return {x_[j], y_[j], r_[j], b_[j]}; }
    void push(const Free& f) {
        x_.push_back(f.x);
        y_.push_back(f.y);
        r_.push_back(f.r);
        b_.push_back(f.b);
    }
    const std::int32_t* x() const { return x_.data(); }
    const std::int32_t* y() const { return y_.data(); }
    const std::int32_t* r() const { return r_.data(); }
    const std::int32_t* b() const { return b_.data(); }

    // Every rectangle that meets `taken` gives way to its parts beside it
    // that are at least needW x needH (smaller ones hold no sprite to come);
    // a part that lies inside another rectangle goes too. Only the new parts
    // can: the old rectangles never lay inside each other, and a part lies
    // inside the rectangle it came from. And a part beside `taken` (left of
    // it, say) spans rows that `taken` spans too, so a rectangle that holds it
    // and does not meet `taken` ends exactly where `taken` begins: only those
    // that touch `taken` need be asked.
    void carve(const Free& taken, std::int32_t needW, std::int32_t needH, Scratch& s) {
        s.pieces.clear();
        s.touching.clear();
        const std::size_t n = size();
        s.met.resize(n + 1);
        s.near.resize(n + 1);
        // First without a branch on the data, which a packed atlas makes
        // unpredictable: the rectangles that meet `taken` and those that touch it.
        std::size_t met = 0, near = 0;
        for (std::size_t j = 0; j < n; ++j) {
            // Ints, so that | is the branch-free bitwise or it means to be.
            const int apart = int{taken.x >= r_[j]} | int{taken.r <= x_[j]} |
                              int{taken.y >= b_[j]} | int{taken.b <= y_[j]};
            const int touches = int{r_[j] == taken.x} | int{x_[j] == taken.r} |
                                int{b_[j] == taken.y} | int{y_[j] == taken.b};
            s.met[met] = static_cast<std::uint32_t>(j);
            met += apart != 0 ? 0 : 1;
            s.near[near] = static_cast<std::uint32_t>(j);
            near += static_cast<std::size_t>(apart & touches);
        }
        const auto keep = [&](const Free& piece) {
            if (piece.r - piece.x >= needW && piece.b - piece.y >= needH) s.pieces.push_back(piece);
        };
        for (std::size_t m = 0; m < met; ++m) {
            const Free r = at(s.met[m]);
            if (taken.x > r.x) keep({r.x, r.y, taken.x, r.b});
            if (taken.r < r.r) keep({taken.r, r.y, r.r, r.b});
            if (taken.y > r.y) keep({r.x, r.y, r.r, taken.y});
            if (taken.b < r.b) keep({r.x, taken.b, r.r, r.b});
        }
        for (std::size_t m = 0; m < near; ++m) s.touching.push_back(at(s.near[m]));
        // The rectangles met go, the rest keep their order.
        std::size_t kept = met > 0 ? s.met[0] : n;
        for (std::size_t m = 0; m < met; ++m) {
            const std::size_t end = m + 1 < met ? s.met[m + 1] : n;
            for (std::size_t j = s.met[m] + 1; j < end; ++j, ++kept) {
                x_[kept] = x_[j];
                y_[kept] = y_[j];
                r_[kept] = r_[j];
                b_[kept] = b_[j];
            }
        }
        resize(kept);
        const std::vector<Free>& pieces = s.pieces;
        for (std::size_t a = 0; a < pieces.size(); ++a) {
            bool inside = false;
            for (std::size_t c = 0; c < pieces.size() && !inside; ++c) {
                // Of two equal parts the first stays.
                inside = c != a && contains(pieces[c], pieces[a]) &&
                         (c < a || !contains(pieces[a], pieces[c]));
            }
            for (std::size_t c = 0; c < s.touching.size() && !inside; ++c) {
                inside = contains(s.touching[c], pieces[a]);
            }
            if (!inside) push(pieces[a]);
        }
    }

private:
    void resize(std::size_t n) {
        x_.resize(n);
        y_.resize(n);
        r_.resize(n);
        b_.resize(n);
    }

    std::vector<std::int32_t> x_, y_, r_, b_;
};

constexpr std::size_t kNowhere = std::numeric_limits<std::size_t>::max();

// Where a sprite goes: the free rectangle's index and the orientation.
struct Pick {
    std::size_t at = kNowhere;
    int turn = 0;
};

// Lexicographic score, smaller better.
struct Score {
    std::int64_t a = std::numeric_limits<std::int64_t>::max();
    std::int64_t b = std::numeric_limits<std::int64_t>::max();
    bool operator<(const Score& o) const { return a != o.a ? a < o.a : b < o.b; }
};

// The score of putting a need of tw x th (what it takes) at the corner of
// free rectangle j, fw x fh.
template <Heuristic H>
Score scoreOf(const FreeList& free, std::size_t j, std::int64_t fw, std::int64_t fh,
              std::int64_t tw, std::int64_t th, const ContactIndex& contacts) {
    const std::int64_t lw = fw - tw, lh = fh - th;
    if constexpr (H == Heuristic::shortSide) {
        return {std::min(lw, lh), std::max(lw, lh)};
    } else if constexpr (H == Heuristic::longSide) {
        return {std::max(lw, lh), std::min(lw, lh)};
    } else if constexpr (H == Heuristic::area) {
        return {fw * fh - tw * th, std::min(lw, lh)};
    } else if constexpr (H == Heuristic::bottomLeft) {
        return {free.y()[j] + th, free.x()[j]};
    } else {
        const std::int32_t x = free.x()[j], y = free.y()[j];
        const Free c{x, y, static_cast<std::int32_t>(x + tw), static_cast<std::int32_t>(y + th)};
        return {-contacts.contact(c), std::int64_t{y} * (kMaxSide + 1) + x};
    }
}

// The heuristic's best free rectangle and orientation for a sprite; ties keep
// the first rectangle, and in one rectangle the upright orientation.
template <Heuristic H>
Pick pickFor(const FreeList& free, const Need& upright, const Need& turned,
             const ContactIndex& contacts) {
    Score best;
    Pick pick;
    const std::int32_t* xs = free.x();
    const std::int32_t* ys = free.y();
    const std::int32_t* rs = free.r();
    const std::int32_t* bs = free.b();
    const std::size_t count = free.size();
    // A need that is not ok fits nowhere.
    constexpr std::int32_t kNever = std::numeric_limits<std::int32_t>::max();
    const std::int32_t uw = upright.ok ? upright.w : kNever, uh = upright.ok ? upright.h : kNever;
    const std::int32_t vw = turned.ok ? turned.w : kNever, vh = turned.ok ? turned.h : kNever;
    for (std::size_t j = 0; j < count; ++j) {
        const std::int32_t fw = rs[j] - xs[j], fh = bs[j] - ys[j];
        const bool fitsUpright = uw <= fw && uh <= fh;
        const bool fitsTurned = vw <= fw && vh <= fh;
        if (!(fitsUpright || fitsTurned)) continue;
        if (fitsUpright) {
            const Score s = scoreOf<H>(free, j, fw, fh, std::min(upright.takeW, fw),
                                       std::min(upright.takeH, fh), contacts);
            if (s < best) {
                best = s;
                pick = {j, 0};
            }
        }
        if (fitsTurned) {
            const Score s = scoreOf<H>(free, j, fw, fh, std::min(turned.takeW, fw),
                                       std::min(turned.takeH, fh), contacts);
            if (s < best) {
                best = s;
                pick = {j, 1};
            }
        }
    }
    return pick;
}

Pick pickFree(const FreeList& free, const Need& upright, const Need& turned, Heuristic heuristic,
              const ContactIndex& contacts) {
    switch (heuristic) {
        case Heuristic::shortSide:
            return pickFor<Heuristic::shortSide>(free, upright, turned, contacts);
        case Heuristic::longSide:
            return pickFor<Heuristic::longSide>(free, upright, turned, contacts);
        case Heuristic::area:
            return pickFor<Heuristic::area>(free, upright, turned, contacts);
        case Heuristic::bottomLeft:
            return pickFor<Heuristic::bottomLeft>(free, upright, turned, contacts);
        case Heuristic::contact:
            break;
    }
    return pickFor<Heuristic::contact>(free, upright, turned, contacts);
}

struct TrialResult {
    std::vector<SpriteSlot> places;
    std::size_t placed = 0;
    // The area from the frame's corner to the farthest taken column and row.
    std::int64_t reach = 0;
    // Every sprite placed, or (when all were needed) the trial stopped.
    bool complete = false;
};

// One pair over the problem. With needAll it stops at the first sprite that
// finds no place (complete false); `stop`, when set by another thread, ends it
// the same way.
TrialResult runTrial(const Problem& p, Trial trial, bool needAll, const std::atomic<bool>* stop) {
    const Frame& f = p.frame;
    const std::vector<std::uint32_t>& order = p.orders[static_cast<std::size_t>(trial.order)];
    TrialResult result;
    result.places.resize(p.count);

    // The least extent of the sprites from position i on, on each axis in
    // either of their orientations: a free rectangle below it helps none.
    std::vector<std::int32_t> leastW(p.count + 1, std::numeric_limits<std::int32_t>::max());
    std::vector<std::int32_t> leastH(p.count + 1, std::numeric_limits<std::int32_t>::max());
    for (std::size_t i = p.count; i-- > 0;) {
        leastW[i] = leastW[i + 1];
        leastH[i] = leastH[i + 1];
        for (int o = 0; o < 2; ++o) {
            const Need& n = p.needs[2 * order[i] + o];
            if (!n.ok) continue;
            leastW[i] = std::min(leastW[i], n.w);
            leastH[i] = std::min(leastH[i], n.h);
        }
    }

    FreeList free;
    free.push({f.startX, f.startY, f.limitX, f.limitY});
    FreeList::Scratch scratch;
    ContactIndex contacts(f);
    std::int32_t farRight = f.startX, farBottom = f.startY;

    for (std::size_t i = 0; i < p.count; ++i) {
        if (stop && (i & 63) == 0 && stop->load(std::memory_order_relaxed)) return result;
        const std::uint32_t k = order[i];
        const Pick pick =
            pickFree(free, p.needs[2 * k], p.needs[2 * k + 1], trial.heuristic, contacts);
        if (pick.at == kNowhere) {
            if (needAll) return result;
            continue;
        }
        const Need& n = p.needs[2 * k + pick.turn];
        const Free home = free.at(pick.at);
        const Free taken{home.x, home.y, std::min(home.x + n.takeW, home.r),
                         std::min(home.y + n.takeH, home.b)};
        SpriteSlot& slot = result.places[k];
        slot.placed = true;
        slot.turned = pick.turn == 1;
        slot.occupied = {home.x, home.y, home.x + n.w - 1, home.y + n.h - 1};
        ++result.placed;
        farRight = std::max(farRight, taken.r);
        farBottom = std::max(farBottom, taken.b);
        if (trial.heuristic == Heuristic::contact) contacts.add(taken);
        free.carve(taken, leastW[i + 1], leastH[i + 1], scratch);
    }
    result.complete = true;
    result.reach = std::int64_t{farRight - f.startX} * (farBottom - f.startY);
    return result;
}

// Whether a is the better of two layouts: more sprites placed, then the
// least reach. Trials are compared in their fixed order, so the first of equal
// ones stays.
bool better(const TrialResult& a, const TrialResult& b) {
    if (a.placed != b.placed) return a.placed > b.placed;
    return a.reach < b.reach;
}

// Runs work(0) .. work(n - 1) on up to `threads` threads, this one included;
// a thread that cannot be started leaves its share to the others.
void runAll(std::size_t n, int threads, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < n;) work(k);
    };
    std::vector<std::jthread> pool;
    const auto extra = std::min<std::size_t>(n, static_cast<std::size_t>(std::max(threads, 1))) - 1;
    try {
        for (std::size_t t = 0; t < extra; ++t) pool.emplace_back(worker);
    } catch (...) {
    }
    worker();
}

// The trials a layout of that many sprites runs.
std::span<const Trial> trialsFor(std::size_t sprites) {
    return std::span(kTrials).first(static_cast<std::size_t>(maxRectsTrials(sprites)));
}

// The best of the trials' layouts: the most sprites placed, then the least
// reach, then the first in the list.
std::optional<TrialResult> bestLayout(const Problem& p, std::span<const Trial> trials,
                                      int threads) {
    std::vector<std::optional<TrialResult>> results(trials.size());
    runAll(trials.size(), threads,
           [&](std::size_t t) { results[t] = runTrial(p, trials[t], false, nullptr); });
    std::optional<TrialResult> best;
    for (std::optional<TrialResult>& r : results) {
        if (r && (!best || better(*r, *best))) best = std::move(r);
    }
    return best;
}

// Whether one of the trials places every sprite; the others stop as soon as
// one has (which one does not change the answer).
bool anyPlacesAll(const Problem& p, std::span<const Trial> trials, int threads) {
    std::atomic<bool> done{false};
    runAll(trials.size(), threads, [&](std::size_t t) {
        if (done.load()) return;
        if (runTrial(p, trials[t], true, &done).complete) done = true;
    });
    return done.load();
}

// The size search.
//
// The layout at one size is the best of several trials, so whether it holds
// every sprite is only known by packing at that size. A bottom-left trial run
// in a strip as tall as the limits allow shows how low it reaches at that
// width, and cut at that height the strip gives the very same layout: the
// heuristic never looks below the sprite it places, and the free rectangles
// of the cut strip are those of the whole strip cut. So each strip gives a
// candidate size that one trial is known to fill; the candidates are
// confirmed the smallest area first (the first usually holds), and since the
// other heuristics see the bottom edge that the strip did not show, the height
// of the first that holds is then lowered in steps of half a percent while
// some trial still places every sprite. The search's trials are the first few
// of the layout's (kSearchTrials); the layout at the size found tries them
// all, so it holds every sprite too, and it is the layout a build of that
// fixed size makes.
//
// Candidate widths lie around the side of a square holding the footprints'
// area at the density the strips reach (powers of two for pot shapes, and
// for squares the sides from there upwards). Cost, in trials over every
// sprite: a strip per width and bottom-left trial, a few search trials per
// height confirmed or lowered, then the layout's trials once.

struct SizeCandidate {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t area() const { return width * height; }
};

// Smaller area, then squarer, then narrower.
bool smaller(const SizeCandidate& a, const SizeCandidate& b) {
    if (a.area() != b.area()) return a.area() < b.area();
    const std::int64_t da = std::abs(a.width - a.height), db = std::abs(b.width - b.height);
    if (da != db) return da < db;
    return a.width < b.width;
}

// The least height of the shape at width w at or above h within the limits,
// or none.
std::optional<std::int64_t> heightOfShape(const FitLimits& limits, std::int64_t w, std::int64_t h) {
    h = std::max(h, limits.minHeight);
    switch (limits.shape) {
        case FitShape::any:
            break;
        case FitShape::pot:
            h = static_cast<std::int64_t>(std::bit_ceil(static_cast<std::uint64_t>(h)));
            break;
        case FitShape::square:
        case FitShape::potSquare:
            if (h > w) return std::nullopt;
            h = w;
            break;
    }
    if (h > limits.maxHeight) return std::nullopt;
    return h;
}

// Sprites times trials each part of the search may spend, and its bounds.
constexpr std::size_t kStripPlacements = 8000;
constexpr std::size_t kLowerPlacements = 10000;
constexpr std::size_t kSearchTrials = 4;
constexpr std::size_t kConfirmations = 6;

class SizeSearch {
public:
    SizeSearch(std::span<const Size> sprites, const LayoutRules& rules, const FitLimits& limits,
               int threads)
        : sprites_(sprites),
          rules_(rules),
          limits_(limits),
          threads_(threads),
          trials_(
              trialsFor(sprites.size())
                  .first(std::min<std::size_t>(kSearchTrials, trialsFor(sprites.size()).size()))) {}

    // The widths near the estimate first; when none of them holds every
    // sprite (the maximum height binds, say), wider ones up to the maximum.
    std::optional<FittedLayout> run() const {
        for (const bool wider : {false, true}) {
            if (auto found = search(candidateWidths(wider))) return found;
        }
        return std::nullopt;
    }

private:
    std::optional<FittedLayout> search(const std::vector<std::int64_t>& widths) const {
        std::vector<Trial> strips;
        for (const Trial& t : trials_) {
            if (t.heuristic == Heuristic::bottomLeft) strips.push_back(t);
        }
        const std::size_t count = strips.size();
        std::vector<std::optional<std::int64_t>> reach(widths.size() * count);
        runAll(reach.size(), threads_, [&](std::size_t k) {
            reach[k] = stripHeight(widths[k / count], strips[k % count]);
        });
        std::vector<SizeCandidate> candidates;
        for (std::size_t k = 0; k < reach.size(); ++k) {
            if (!reach[k]) continue;
            const std::int64_t w = widths[k / count];
            if (const auto h = heightOfShape(limits_, w, *reach[k])) candidates.push_back({w, *h});
        }
        std::sort(candidates.begin(), candidates.end(), smaller);
        for (std::size_t c = 0; c < candidates.size() && c < kConfirmations; ++c) {
            if (c > 0 && candidates[c].width == candidates[c - 1].width &&
                candidates[c].height == candidates[c - 1].height) {
                continue;
            }
            if (!placesAll(candidates[c])) continue;
            // Lower while some trial still places every sprite.
            SizeCandidate found = candidates[c];
            const auto steps = static_cast<int>(std::min<std::size_t>(
                kLowerPlacements / std::max<std::size_t>(sprites_.size(), 1), 40));
            for (int k = 0; k < steps; ++k) {
                const std::int64_t step = std::max<std::int64_t>(found.height / 200, 1);
                const auto h = heightOfShape(limits_, found.width, found.height - step);
                if (!h || *h >= found.height || !placesAll({found.width, *h})) break;
                found.height = *h;
            }
            return layoutAt(found);
        }
        return std::nullopt;
    }

    // The widths worth a strip, narrowest first: around the estimate, or
    // (wider) from there to the maximum.
    std::vector<std::int64_t> candidateWidths(bool wider) const {
        const std::int64_t border = std::max<std::int64_t>(rules_.placement.borderSize, 0);
        std::int64_t area = 0, narrowest = 1;
        for (const Size& s : ringedSizes(sprites_, rules_.extrude)) {
            area += (std::int64_t{s.width} + rules_.spacing) * (s.height + rules_.spacing);
            narrowest = std::max<std::int64_t>(
                narrowest, rules_.rotate ? std::min(s.width, s.height) : s.width);
        }
        const bool square =
            limits_.shape == FitShape::square || limits_.shape == FitShape::potSquare;
        const bool pot = limits_.shape == FitShape::pot || limits_.shape == FitShape::potSquare;
        std::int64_t lo = std::max(limits_.minWidth, narrowest + 2 * border);
        std::int64_t hi = limits_.maxWidth;
        if (square) {
            lo = std::max(lo, limits_.minHeight);
            hi = std::min(hi, limits_.maxHeight);
        }
        std::vector<std::int64_t> widths;
        if (lo > hi) return widths;
        if (pot) {
            for (std::int64_t w = 1; w <= hi && !wider; w *= 2) {
                if (w >= lo) widths.push_back(w);
            }
            return widths;
        }
        // The side of a square holding the footprints at the density strips
        // reach (or, when the maximum height is lower, the width that holds
        // them at that height); any shape tries widths from a tenth below it
        // to a tenth above, squares sides from it upwards.
        const double inner = static_cast<double>(
            std::max<std::int64_t>((square ? hi : limits_.maxHeight) - 2 * border, 1));
        const double side = std::max(std::sqrt(static_cast<double>(area) / kDensity),
                                     static_cast<double>(area) / kDensity / inner) +
                            2.0 * border;
        const int count = std::clamp<int>(
            static_cast<int>(kStripPlacements / std::max<std::size_t>(sprites_.size(), 1)), 2, 16);
        for (int k = 0; k < (wider ? 10 : count); ++k) {
            // Wider: ten steps of equal ratio from a tenth above the estimate
            // to the maximum.
            const double factor =
                wider    ? 1.1 * std::pow(std::max(hi / side / 1.1, 1.0), (k + 1) / 10.0)
                : square ? 1.0 + 0.015 * k
                         : 0.9 + 0.2 * k / (count - 1);
            widths.push_back(
                std::clamp(static_cast<std::int64_t>(std::ceil(side * factor)), lo, hi));
        }
        std::sort(widths.begin(), widths.end());
        widths.erase(std::unique(widths.begin(), widths.end()), widths.end());
        return widths;
    }

    // How low the trial reaches in a strip of width w as tall as the limits
    // allow (the border below included), or none when it cannot place every
    // sprite there.
    std::optional<std::int64_t> stripHeight(std::int64_t w, const Trial& trial) const {
        const Size strip{static_cast<std::int32_t>(w),
                         static_cast<std::int32_t>(limits_.maxHeight)};
        const std::optional<Frame> frame = frameOf(strip, rules_.placement);
        if (!frame) return std::nullopt;
        const TrialResult r =
            runTrial(makeProblem(sprites_, rules_, strip, *frame), trial, true, nullptr);
        if (!r.complete) return std::nullopt;
        std::int64_t bottom = 0;
        for (const SpriteSlot& slot : r.places) {
            bottom = std::max<std::int64_t>(bottom, slot.occupied.bottom);
        }
        return bottom + 1 + std::max<std::int64_t>(rules_.placement.borderSize, 0);
    }

    static Size sizeOf(const SizeCandidate& c) {
        return {static_cast<std::int32_t>(c.width), static_cast<std::int32_t>(c.height)};
    }

    bool placesAll(const SizeCandidate& c) const {
        const Size atlas = sizeOf(c);
        const std::optional<Frame> frame = frameOf(atlas, rules_.placement);
        return frame &&
               anyPlacesAll(makeProblem(sprites_, rules_, atlas, *frame), trials_, threads_);
    }

    std::optional<FittedLayout> layoutAt(const SizeCandidate& c) const {
        const Size atlas = sizeOf(c);
        FittedLayout fitted{{atlas.width, atlas.height},
                            maxRectsLayout(sprites_, rules_, atlas, threads_)};
        for (const SpriteSlot& slot : fitted.places) {
            if (!slot.placed) return std::nullopt;
        }
        return fitted;
    }

    // The density bottom-left strips reach on generated sprites, a little below it.
    static constexpr double kDensity = 0.95;

    std::span<const Size> sprites_;
    const LayoutRules& rules_;
    const FitLimits& limits_;
    int threads_;
    std::span<const Trial> trials_;
};

}  // namespace

int maxRectsTrials(std::size_t sprites) {
    const std::size_t trials = kTrialPlacements / std::max<std::size_t>(sprites, 1);
    return static_cast<int>(std::clamp<std::size_t>(trials, 2, kTrials.size()));
}

std::vector<SpriteSlot> maxRectsLayout(std::span<const Size> sprites, const LayoutRules& rules,
                                       Size atlas, int threads) {
    const std::optional<Frame> frame = frameOf(atlas, rules.placement);
    if (!frame || sprites.empty()) return std::vector<SpriteSlot>(sprites.size());
    const Problem p = makeProblem(sprites, rules, atlas, *frame);
    std::optional<TrialResult> best = bestLayout(p, trialsFor(sprites.size()), threads);
    return best ? std::move(best->places) : std::vector<SpriteSlot>(sprites.size());
}

bool maxRectsFitsAlone(Size sprite, const LayoutRules& rules, Size atlas) {
    const std::optional<Frame> frame = frameOf(atlas, rules.placement);
    if (!frame) return false;
    const Size turned{sprite.height, sprite.width};
    return needOf(footprintOf(sprite, rules, atlas), *frame).ok ||
           (rules.rotate && needOf(footprintOf(turned, rules, atlas), *frame).ok);
}

std::optional<FittedLayout> maxRectsFit(std::span<const Size> sprites, const LayoutRules& rules,
                                        const FitLimits& limits, int threads) {
    if (sprites.empty()) return std::nullopt;
    const auto valid = [](std::int64_t side) { return side >= 1 && side <= kMaxSide; };
    if (!valid(limits.minWidth) || !valid(limits.minHeight) || !valid(limits.maxWidth) ||
        !valid(limits.maxHeight)) {
        return std::nullopt;
    }
    return SizeSearch(sprites, rules, limits, threads).run();
}

}  // namespace tilvane
