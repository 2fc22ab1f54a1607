#include "layout/placement.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <map>

namespace tilvane {

namespace {

// Coordinates during a search are 64-bit: x + fw - 1, W - b and a rounded-up
// border do not fit 32 bits for hostile settings.
using Coord = std::int64_t;

constexpr Coord kNone = -1;

// Grid step as placement uses it: 1 on an axis without alignment.
Coord activeStep(std::uint32_t stored) {
    const auto step = static_cast<std::int32_t>(stored);
    return step >= 2 ? step : 1;
}

// roundUpToGrid for the non-negative values a search produces.
Coord alignUp(Coord step, Coord v) {
    if (step == 1) return v;
    const Coord rem = v % step;
    return rem == 0 ? v : v + step - rem;
}

// A right or bottom edge extended to the cell end when it does not already
// sit on a multiple of the step.
Coord extendEdge(Coord step, Coord edge) {
    const Coord up = alignUp(step, edge);
    return up > edge ? up - 1 : edge;
}

// Everything a search derives from the image and the settings. Valid only
// when the border is not negative.
struct SearchFrame {
    Coord stepX = 1, stepY = 1;
    Coord startX = 0, startY = 0;
    Coord limitX = 0, limitY = 0;  // coordinates stay strictly below
    // Extent of a candidate including the grid extension; the same at every
    // aligned start because starts are multiples of the step.
    Coord extentW = 0, extentH = 0;
};

// False when no search is possible at all (bad arguments or a negative border).
bool makeFrame(std::int32_t width, std::int32_t height, std::int32_t fw, std::int32_t fh,
               const PlacementSettings& settings, SearchFrame& f) {
    if (width <= 0 || height <= 0 || fw <= 0 || fh <= 0) return false;
    const auto border = static_cast<std::int32_t>(settings.borderSize);
    // Read as signed, a border of 2^31 or more would start the scan left of and
    // above the image; no such position is ever inside it.
    if (border < 0) return false;
    f.stepX = activeStep(settings.gridAlignX);
    f.stepY = activeStep(settings.gridAlignY);
    f.startX = alignUp(f.stepX, border);
    f.startY = alignUp(f.stepY, border);
    f.limitX = Coord{width} - border;
    f.limitY = Coord{height} - border;
    f.extentW = extendEdge(f.stepX, f.startX + fw - 1) - f.startX + 1;
    f.extentH = extendEdge(f.stepY, f.startY + fh - 1) - f.startY + 1;
    return true;
}

Rect toRect(Coord x, Coord y, const SearchFrame& f) {
    return Rect{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                static_cast<std::int32_t>(x + f.extentW - 1),
                static_cast<std::int32_t>(y + f.extentH - 1)};
}

// An occupied column range of one span of rows, inclusive.
struct Run {
    std::int32_t lo = 0;
    std::int32_t hi = 0;
};

// Aligned start columns [lo, hi] at which a window fits, or a free column range
// whose first aligned column is lo; lo is always aligned. Only ranges inside the
// frame are kept, so 32 bits hold them (and halve what a search reads).
struct Range {
    std::int32_t lo = 0;
    std::int32_t hi = 0;
};

// Rows with identical occupancy. Runs are sorted, disjoint and never adjacent
// (touching runs are merged). `gaps` holds the free ranges inside the search
// frame, each from its first aligned column, while the span's link says they
// are current.
struct Span {
    std::vector<Run> runs;
    std::vector<Range> gaps;
    // The gaps at least kWideLevels[level] columns wide, in the same order:
    // a packed row is mostly slivers, which a wide window need not visit.
    // Built on first use; bit `level` of wideValid says a level is current.
    std::array<std::vector<Range>, 6> wide;
    std::uint32_t wideValid = 0;
};

constexpr std::array<Coord, 6> kWideLevels = {4, 8, 16, 32, 64, 128};

// What a search reads of every span it passes, kept apart from the runs so
// that walking many spans stays within a few cache lines.
struct SpanLink {
    std::int32_t start = 0;      // first row
    std::int32_t next = -1;      // index of the span below, -1 for the last
    std::uint64_t gapEpoch = 0;  // frame epoch of the span's gaps; 0: stale
    Coord room = 0;              // widest aligned window in the gaps
};

// Recomputes the span's free ranges inside [startX, limitX); gives the room.
Coord computeGaps(Span& span, const SearchFrame& f) {
    span.gaps.clear();
    Coord room = 0;
    auto visit = [&](Coord a, Coord e) {
        const Coord lo = alignUp(f.stepX, a);
        if (lo > e) return;
        span.gaps.push_back(Range{static_cast<std::int32_t>(lo), static_cast<std::int32_t>(e)});
        room = std::max(room, e + 1 - lo);
    };
    const std::vector<Run>& runs = span.runs;
    auto run = std::lower_bound(runs.begin(), runs.end(), f.startX,
                                [](const Run& r, Coord x) { return r.hi < x; });
    Coord from = f.startX;
    for (; run != runs.end() && run->lo < f.limitX; ++run) {
        if (run->lo > from) visit(from, Coord{run->lo} - 1);
        from = Coord{run->hi} + 1;
    }
    if (from < f.limitX) visit(from, f.limitX - 1);
    span.wideValid = 0;
    return room;
}

// True when [lo, hi] covered no occupied column before, so that it lay inside
// one free range.
bool insertRun(Span& span, std::int32_t lo, std::int32_t hi) {
    std::vector<Run>& runs = span.runs;
    // Runs that overlap or touch [lo, hi] merge with it.
    auto first = std::lower_bound(runs.begin(), runs.end(), Coord{lo} - 1,
                                  [](const Run& r, Coord v) { return r.hi < v; });
    auto last = first;
    Run merged{lo, hi};
    bool free = true;
    while (last != runs.end() && Coord{last->lo} <= Coord{hi} + 1) {
        free = free && (last->hi < lo || last->lo > hi);
        merged.lo = std::min(merged.lo, last->lo);
        merged.hi = std::max(merged.hi, last->hi);
        ++last;
    }
    if (first == last) {
        runs.insert(first, merged);
    } else {
        *first = merged;
        runs.erase(first + 1, last);
    }
    return free;
}

// Takes the columns lo..hi, which lay inside one free range, out of a list of
// ranges holding the free ranges at least `least` wide; columns outside the
// frame take nothing from it. Gives the width of the range they were taken
// from, 0 when the list did not hold it.
Coord carveRange(std::vector<Range>& list, std::int32_t lo, std::int32_t hi, Coord least,
                 Coord stepX) {
    auto it = std::lower_bound(list.begin(), list.end(), lo,
                               [](const Range& r, std::int32_t x) { return r.hi < x; });
    // A free range's first aligned column may lie past its start; columns taken
    // before it leave its range as it was.
    if (it == list.end() || it->lo > hi) return 0;
    const Range was = *it;
    Range pieces[2];
    int count = 0;
    if (Coord{lo} - was.lo >= least) pieces[count++] = Range{was.lo, lo - 1};
    const Coord right = alignUp(stepX, Coord{hi} + 1);
    if (Coord{was.hi} + 1 - right >= least)
        pieces[count++] = Range{static_cast<std::int32_t>(right), was.hi};
    if (count == 0) {
        list.erase(it);
    } else {
        *it = pieces[0];
        if (count == 2) list.insert(it + 1, pieces[1]);
    }
    return Coord{was.hi} + 1 - was.lo;
}

// Takes the columns lo..hi, which lay inside one free range, out of a span's
// current gaps and its built wide lists; gives the span's room after.
Coord carveGaps(Span& span, Coord room, std::int32_t lo, std::int32_t hi, Coord stepX) {
    const Coord width = carveRange(span.gaps, lo, hi, 1, stepX);
    if (width == 0) return room;
    // Only the lists of widths up to the carved range's held it.
    for (std::size_t level = 0; level < kWideLevels.size() && kWideLevels[level] <= width;
         ++level) {
        if ((span.wideValid >> level & 1u) != 0) {
            carveRange(span.wide[level], lo, hi, kWideLevels[level], stepX);
        }
    }
    if (width < room) return room;
    Coord widest = 0;
    for (const Range& gap : span.gaps) widest = std::max(widest, Coord{gap.hi} + 1 - gap.lo);
    return widest;
}

// Everything of a frame but the footprint: what the caches of one build share.
struct FrameKey {
    Coord startX = 0, startY = 0, limitX = 0, limitY = 0, stepX = 0, stepY = 0;
    friend bool operator==(const FrameKey&, const FrameKey&) = default;
};

constexpr std::int32_t kFirstRow = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kLastRow = std::numeric_limits<std::int32_t>::max();

// Largest extent side the row-bound table covers; sprites are mostly smaller,
// and a larger extent still reads the bounds of the covered ones below it.
constexpr Coord kBoundCap = 256;

}  // namespace

// Rows are grouped into spans of identical occupancy, linked top to bottom and
// found by their first row; the spans partition every int32 row, so there is
// always one. Memory grows with the distinct row boundaries of the rectangles,
// not with the atlas.
//
// Rectangles are only ever added, so a search's answer can only move later in
// scan order as the index grows. And wherever an extent fits, every smaller one
// fits too, so an extent that found no place before row y (its answer was there,
// or it found none) rules those rows out for every larger extent, for good. The
// caches below keep these row bounds per search frame: a table over extents up
// to a cap, and for larger ones the last row per extent and the extents that
// found no place. They are mutable because searching does not change what the
// index holds.
struct OccupancyIndex::Impl {
    // Searching fills in the spans' gaps, which does not change what they hold.
    mutable std::vector<Span> spans{Span{}};
    mutable std::vector<SpanLink> links{SpanLink{kFirstRow, -1, 0, 0}};
    std::map<std::int32_t, std::int32_t> byStart{{kFirstRow, 0}};
    std::vector<Rect> rects;
    bool malformed = false;

    mutable FrameKey frame;
    mutable std::uint64_t epoch = 0;
    // Extent width -> smallest extent height that found no place; heights fall
    // as widths grow, so the entry at or below a width holds the least height.
    mutable std::map<Coord, Coord> failed;
    mutable std::map<std::pair<Coord, Coord>, Coord> lastRow;
    // Row bounds over extents of 1..boundW x 1..boundH, as a two-dimensional
    // Fenwick tree of maxima: a bound is the greatest recorded for any extent
    // no larger on either axis. Bounds only ever rise, as the tree requires.
    mutable std::vector<std::int32_t> bounds;
    mutable Coord boundW = 0, boundH = 0;
    mutable std::vector<Range> scratch;

    // The span holding row.
    std::int32_t spanAt(std::int32_t row) const {
        return std::prev(byStart.upper_bound(row))->second;
    }

    // Makes a span start at row (the rows before it keep their occupancy);
    // gives its index.
    std::int32_t splitAt(std::int32_t row) {
        auto next = byStart.upper_bound(row);
        const std::int32_t holder = std::prev(next)->second;
        if (links[holder].start == row) return holder;
        const auto added = static_cast<std::int32_t>(spans.size());
        Span copy = spans[holder];
        spans.push_back(std::move(copy));
        SpanLink link = links[holder];
        link.start = row;
        links.push_back(link);
        links[holder].next = added;
        byStart.emplace_hint(next, row, added);
        return added;
    }

    // Last row of span i.
    Coord endOf(std::int32_t i) const {
        const std::int32_t next = links[i].next;
        return next < 0 ? Coord{kLastRow} : Coord{links[next].start} - 1;
    }

    void useFrame(const SearchFrame& f) const {
        const FrameKey key{f.startX, f.startY, f.limitX, f.limitY, f.stepX, f.stepY};
        if (epoch != 0 && key == frame) return;
        frame = key;
        ++epoch;
        failed.clear();
        lastRow.clear();
        // Extents never exceed the frame; sized by it, a small atlas keeps a
        // small table.
        boundW = std::clamp<Coord>(f.limitX - f.startX, 0, kBoundCap);
        boundH = std::clamp<Coord>(f.limitY - f.startY, 0, kBoundCap);
        bounds.assign(static_cast<std::size_t>(boundW * boundH), 0);
    }

    bool withinBounds(Coord w, Coord h) const { return w <= boundW && h <= boundH; }

    // The least row an extent of w x h may still be placed at (0: no bound).
    Coord rowBound(Coord w, Coord h) const {
        std::int32_t row = 0;
        for (Coord i = std::min(w, boundW); i > 0; i -= i & -i) {
            const std::int32_t* line = bounds.data() + (i - 1) * boundH;
            for (Coord j = std::min(h, boundH); j > 0; j -= j & -j)
                row = std::max(row, line[j - 1]);
        }
        return row;
    }

    // No extent of at least w x h fits above row; the extent must be within
    // the table and the row an int32 (it is at most the frame's limit).
    void raiseBound(Coord w, Coord h, Coord row) const {
        const auto value = static_cast<std::int32_t>(row);
        for (Coord i = w; i <= boundW; i += i & -i) {
            std::int32_t* line = bounds.data() + (i - 1) * boundH;
            for (Coord j = h; j <= boundH; j += j & -j) line[j - 1] = std::max(line[j - 1], value);
        }
    }

    // The widest window span i holds in the current frame; its gaps are
    // computed at most once between two changes of the span.
    Coord roomOf(std::int32_t i, const SearchFrame& f) const {
        SpanLink& link = links[i];
        if (link.gapEpoch != epoch) {
            link.room = computeGaps(spans[i], f);
            link.gapEpoch = epoch;
        }
        return link.room;
    }

    bool failedBefore(Coord w, Coord h) const {
        auto it = failed.upper_bound(w);
        return it != failed.begin() && std::prev(it)->second <= h;
    }

    void recordFailure(Coord w, Coord h) const {
        if (failedBefore(w, h)) return;
        auto it = failed.lower_bound(w);
        while (it != failed.end() && it->second >= h) it = failed.erase(it);
        failed.emplace(w, h);
    }
};

OccupancyIndex::OccupancyIndex() : impl_(std::make_unique<Impl>()) {}
OccupancyIndex::~OccupancyIndex() = default;
OccupancyIndex::OccupancyIndex(OccupancyIndex&&) noexcept = default;
OccupancyIndex& OccupancyIndex::operator=(OccupancyIndex&&) noexcept = default;

void OccupancyIndex::clear() {
    impl_ = std::make_unique<Impl>();
}

void OccupancyIndex::add(const Rect& rect) {
    if (!impl_) impl_ = std::make_unique<Impl>();
    impl_->rects.push_back(rect);
    if (rect.left > rect.right || rect.top > rect.bottom) {
        impl_->malformed = true;
        return;
    }
    Impl& ix = *impl_;
    const std::int32_t first = ix.splitAt(rect.top);
    if (rect.bottom != kLastRow) ix.splitAt(rect.bottom + 1);
    // Current gaps are carved in place; others are made again when a search
    // next needs them.
    for (std::int32_t i = first; i >= 0 && ix.links[i].start <= rect.bottom; i = ix.links[i].next) {
        const bool intoFree = insertRun(ix.spans[i], rect.left, rect.right);
        SpanLink& link = ix.links[i];
        if (intoFree && ix.epoch != 0 && link.gapEpoch == ix.epoch) {
            link.room = carveGaps(ix.spans[i], link.room, rect.left, rect.right, ix.frame.stepX);
        } else {
            link.gapEpoch = 0;
        }
    }
}

std::size_t OccupancyIndex::size() const {
    return impl_ ? impl_->rects.size() : 0;
}

std::int32_t roundUpToGrid(std::int32_t g, std::int32_t v) {
    if (g <= 1) return v;
    const std::int32_t rem = v % g;
    if (rem == 0) return v;
    const Coord up = Coord{v} + g - rem;
    return static_cast<std::int32_t>(std::min<Coord>(up, std::numeric_limits<std::int32_t>::max()));
}

bool placementAt(std::int32_t width, std::int32_t height, std::int32_t fw, std::int32_t fh,
                 Point at, const PlacementSettings& settings, Rect* result) {
    SearchFrame f;
    if (result == nullptr || !makeFrame(width, height, fw, fh, settings, f)) return false;
    const Coord x = at.x, y = at.y;
    if (x < f.startX || y < f.startY || x % f.stepX != 0 || y % f.stepY != 0) return false;
    if (x + f.extentW > f.limitX || y + f.extentH > f.limitY) return false;
    *result = toRect(x, y, f);
    return true;
}

// The scan step by step, with only the two early exits that cannot change
// its answer.
namespace {

bool referenceScan(std::int32_t width, std::int32_t height, std::int32_t fw, std::int32_t fh,
                   const std::vector<Rect>& occupiedRects, const PlacementSettings& settings,
                   Rect* result) {
    SearchFrame f;
    if (result == nullptr || !makeFrame(width, height, fw, fh, settings, f)) return false;
    for (Coord y = f.startY; y < f.limitY; ++y) {
        if (y % f.stepY != 0) continue;
        const Coord bottom = extendEdge(f.stepY, y + fh - 1);
        // Bottom edges only grow with y, so no later row fits either.
        if (bottom >= f.limitY) return false;
        for (Coord x = f.startX; x < f.limitX; ++x) {
            if (x % f.stepX != 0) continue;
            bool inside = false;
            for (const Rect& r : occupiedRects) {
                if (r.left <= x && x <= r.right && r.top <= y && y <= r.bottom) {
                    x = r.right;  // resume right of it
                    inside = true;
                    break;
                }
            }
            if (inside) continue;
            const Coord right = extendEdge(f.stepX, x + fw - 1);
            // Right edges only grow with x, so the rest of the row cannot fit.
            if (right >= f.limitX) break;
            bool collides = false;
            for (const Rect& r : occupiedRects) {
                if (right >= r.left && x <= r.right && bottom >= r.top && y <= r.bottom) {
                    collides = true;
                    break;
                }
            }
            if (!collides) {
                *result = Rect{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                               static_cast<std::int32_t>(right), static_cast<std::int32_t>(bottom)};
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool findPlacementReference(std::int32_t width, std::int32_t height, std::int32_t fw,
                            std::int32_t fh, const std::vector<Rect>& occupiedRects,
                            const PlacementSettings& settings, Rect* result) {
    return referenceScan(width, height, fw, fh, occupiedRects, settings, result);
}

namespace {

// The start columns that fit every span of the current band of rows, as a
// sliding window of range lists: spans join at the bottom and leave at the
// top, and the common ranges come from two stacks of running intersections,
// so each span's list is intersected a constant number of times.
class BandWindow {
public:
    // The arena is the index's scratch storage, reused so that a search does not
    // allocate anew each time.
    BandWindow(const SearchFrame& f, std::vector<Range>& arena) : f_(f), arena_(arena) {}

    void clear() {
        inbox_.clear();
        outbox_.clear();
        inboxAll_ = true;
    }

    // Adds the span whose last row is `end`, below every span already in.
    void push(Span& span, Coord end) {
        const List list = startsOf(span);
        inbox_.push_back(Item{end, list});
        inboxAgg_ = inboxAll_ ? list : intersect(inboxAgg_, list);
        inboxAll_ = false;
    }

    // Drops the spans that end above row y.
    void dropAbove(Coord y) {
        for (;;) {
            if (outbox_.empty()) transfer();
            if (outbox_.empty() || outbox_.back().end >= y) return;
            outbox_.pop_back();
        }
    }

    // Last row of the top span; the window must not be empty.
    Coord topEnd() const { return outbox_.empty() ? inbox_.front().end : outbox_.back().end; }

    // True when the spans from the top down to the newest of the last transfer
    // already share no start column, whatever spans join below.
    bool topBlocked() const { return !outbox_.empty() && outbox_.back().list.size == 0; }

    // The least start column common to all spans in the window, or kNone.
    Coord firstCommon() const {
        if (outbox_.empty()) return inboxAll_ || inboxAgg_.size == 0 ? kNone : at(inboxAgg_, 0).lo;
        const List top = outbox_.back().list;
        if (inboxAll_) return top.size == 0 ? kNone : at(top, 0).lo;
        std::size_t i = 0, j = 0;
        while (i < top.size && j < inboxAgg_.size) {
            const Range& a = at(top, i);
            const Range& b = at(inboxAgg_, j);
            const std::int32_t lo = std::max(a.lo, b.lo);
            if (lo <= std::min(a.hi, b.hi)) return lo;
            if (a.hi < b.hi)
                ++i;
            else
                ++j;
        }
        return kNone;
    }

private:
    struct List {
        std::size_t begin = 0;
        std::size_t size = 0;
    };
    struct Item {
        Coord end;
        List list;  // in the outbox: intersected with every newer outbox item
    };

    const Range& at(const List& l, std::size_t i) const { return arena_[l.begin + i]; }

    // The start columns of a span whose free ranges are current.
    List startsOf(Span& span) {
        const std::vector<Range>& gaps = widestFitting(span);
        const std::size_t begin = reserve(gaps.size());
        Range* const first = arena_.data() + begin;
        Range* out = first;
        const std::int32_t less = static_cast<std::int32_t>(f_.extentW - 1);
        // Written unconditionally and kept only when not empty: the ranges that
        // fit and those that do not alternate unpredictably in a packed row.
        for (const Range& gap : gaps) {
            *out = Range{gap.lo, gap.hi - less};
            out += gap.lo <= out->hi ? 1 : 0;
        }
        return commit(begin, static_cast<std::size_t>(out - first));
    }

    // The shortest of the span's gap lists that still holds every gap the
    // window fits in.
    const std::vector<Range>& widestFitting(Span& span) const {
        std::size_t level = 0;
        while (level < kWideLevels.size() && f_.extentW >= kWideLevels[level]) ++level;
        if (level == 0) return span.gaps;
        --level;
        std::vector<Range>& list = span.wide[level];
        const std::uint32_t bit = 1u << level;
        if ((span.wideValid & bit) == 0) {
            const Coord least = kWideLevels[level];
            list.resize(span.gaps.size());
            Range* out = list.data();
            for (const Range& gap : span.gaps) {
                *out = gap;
                out += Coord{gap.hi} - gap.lo + 1 >= least ? 1 : 0;
            }
            list.resize(static_cast<std::size_t>(out - list.data()));
            span.wideValid |= bit;
        }
        return list;
    }

    // Both lows are aligned, so the larger one is too.
    List intersect(List a, List b) {
        const std::size_t begin = reserve(a.size + b.size);
        const Range* ra = arena_.data() + a.begin;
        const Range* const aEnd = ra + a.size;
        const Range* rb = arena_.data() + b.begin;
        const Range* const bEnd = rb + b.size;
        Range* const first = arena_.data() + begin;
        Range* out = first;
        while (ra != aEnd && rb != bEnd) {
            const std::int32_t lo = std::max(ra->lo, rb->lo);
            const std::int32_t hi = std::min(ra->hi, rb->hi);
            *out = Range{lo, hi};
            out += lo <= hi ? 1 : 0;
            if (ra->hi < rb->hi)
                ++ra;
            else
                ++rb;
        }
        return commit(begin, static_cast<std::size_t>(out - first));
    }

    // Room for n more ranges past the used ones, whose offset it gives; the
    // arena only grows, so a search reuses what earlier ones allocated.
    std::size_t reserve(std::size_t n) {
        if (arena_.size() < used_ + n) arena_.resize(std::max(2 * arena_.size(), used_ + n));
        return used_;
    }

    List commit(std::size_t begin, std::size_t size) {
        used_ = begin + size;
        return List{begin, size};
    }

    void transfer() {
        for (auto it = inbox_.rbegin(); it != inbox_.rend(); ++it) {
            const List agg = outbox_.empty() ? it->list : intersect(it->list, outbox_.back().list);
            outbox_.push_back(Item{it->end, agg});
        }
        inbox_.clear();
        inboxAll_ = true;
    }

    const SearchFrame& f_;
    std::vector<Range>& arena_;  // every list of this search, in [0, used_)
    std::size_t used_ = 0;
    std::vector<Item> inbox_;  // oldest first
    List inboxAgg_;
    bool inboxAll_ = true;      // inbox empty: its intersection is everything
    std::vector<Item> outbox_;  // oldest last
};

}  // namespace

namespace {

// The scan's answer row for the frame's extent, its column in `column`; the
// frame's limit when there is none. Within one span of rows nothing changes,
// so after a failing row the next row worth trying is the first aligned one of
// a later span: a window starting lower in the same span meets every span the
// failed one met. A span too full for the window at any column rules out
// every band that holds it.
Coord searchRows(const OccupancyIndex::Impl* index, const SearchFrame& f, Coord* column) {
    const bool tabled = index->withinBounds(f.extentW, f.extentH);
    if (!tabled && index->failedBefore(f.extentW, f.extentH)) return f.limitY;
    const auto extent = std::make_pair(f.extentW, f.extentH);
    // Bounds are answer rows or the limit, so already aligned.
    Coord y = std::max(f.startY, index->rowBound(f.extentW, f.extentH));
    const std::vector<SpanLink>& links = index->links;
    if (!tabled) {
        if (auto last = index->lastRow.find(extent); last != index->lastRow.end()) {
            y = std::max(y, last->second);
        }
    } else {
        // A band's top row lies in a span with room for the width; rows above
        // the first such span hold no extent this wide or wider, whatever its
        // height, and rooms only shrink. Recorded as the bound of one row's height.
        const Coord from = std::max(f.startY, index->rowBound(f.extentW, 1));
        std::int32_t s = index->spanAt(static_cast<std::int32_t>(std::min(from, f.limitY)));
        while (s >= 0 && links[s].start < f.limitY && index->roomOf(s, f) < f.extentW) {
            s = links[s].next;
        }
        Coord roomy =
            s < 0 || links[s].start >= f.limitY ? f.limitY : std::max<Coord>(links[s].start, from);
        roomy = std::min(alignUp(f.stepY, roomy), f.limitY);
        if (roomy > from) index->raiseBound(f.extentW, 1, roomy);
        y = std::max(y, roomy);
    }

    std::int32_t feed = index->spanAt(static_cast<std::int32_t>(y));
    BandWindow band(f, index->scratch);
    // Spans that joined the band; their start lists are only built once the
    // band holds no span too full, which most bands above the answer do.
    std::vector<std::pair<std::int32_t, Coord>> pending;
    while (y + f.extentH <= f.limitY) {
        const Coord bandBottom = y + f.extentH - 1;
        bool jumped = false;
        while (feed >= 0 && links[feed].start <= bandBottom) {
            const std::int32_t next = links[feed].next;
            const Coord end = index->endOf(feed);
            if (end >= y) {
                if (index->roomOf(feed, f) < f.extentW) {
                    band.clear();
                    pending.clear();
                    y = alignUp(f.stepY, end + 1);
                    feed = next;
                    jumped = true;
                    break;
                }
                pending.emplace_back(feed, end);
            }
            feed = next;
        }
        if (jumped) continue;
        band.dropAbove(y);
        if (band.topBlocked()) {
            // The spans that joined wait in pending: most bands above the
            // answer fail before they would be read.
            y = alignUp(f.stepY, band.topEnd() + 1);
            continue;
        }
        for (const auto& [span, end] : pending) {
            if (end >= y) band.push(index->spans[span], end);
        }
        pending.clear();
        const Coord x = band.firstCommon();
        if (x != kNone) {
            if (tabled)
                index->raiseBound(f.extentW, f.extentH, y);
            else
                index->lastRow[extent] = y;
            *column = x;
            return y;
        }
        y = alignUp(f.stepY, band.topEnd() + 1);
    }
    if (tabled)
        index->raiseBound(f.extentW, f.extentH, f.limitY);
    else
        index->recordFailure(f.extentW, f.extentH);
    return f.limitY;
}

// v keeping only its five highest bits: sizes that stand in for the
// nearby sizes above them, at most a sixteenth smaller. Coarser steps stand in
// for more sizes but bound them less closely.
Coord ladderStep(Coord v) {
    const auto top = static_cast<Coord>(std::bit_floor(static_cast<std::uint64_t>(v)));
    const Coord grain = std::max<Coord>(top / 16, 1);
    return v / grain * grain;
}

}  // namespace

// The scan's answer is the least (y, x), both aligned, whose extended window is
// free. Any window no larger on either axis fits wherever it does, so no
// answer lies above the answer row of a slightly smaller extent. Searched
// first and kept in the row bounds, that row lets the many extents near it
// skip the packed rows, which the smaller one passes only once over a build.
bool findPlacement(std::int32_t width, std::int32_t height, std::int32_t fw, std::int32_t fh,
                   const OccupancyIndex& occupied, const PlacementSettings& settings,
                   Rect* result) {
    const OccupancyIndex::Impl* index = occupied.impl_.get();
    if (index != nullptr && index->malformed) {
        return referenceScan(width, height, fw, fh, index->rects, settings, result);
    }
    SearchFrame f;
    if (result == nullptr || !makeFrame(width, height, fw, fh, settings, f)) return false;
    if (f.startX + f.extentW > f.limitX || f.startY + f.extentH > f.limitY) return false;
    if (index == nullptr) {
        *result = toRect(f.startX, f.startY, f);
        return true;
    }

    index->useFrame(f);
    Coord column = kNone;
    SearchFrame lesser = f;
    lesser.extentW = ladderStep(std::min(f.extentW, index->boundW));
    lesser.extentH = ladderStep(std::min(f.extentH, index->boundH));
    if (lesser.extentW != f.extentW || lesser.extentH != f.extentH) {
        searchRows(index, lesser, &column);
    }
    const Coord row = searchRows(index, f, &column);
    if (row >= f.limitY) return false;
    *result = toRect(column, row, f);
    return true;
}

}  // namespace tilvane
