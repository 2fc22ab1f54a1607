#include "image/placement.h"

#include <algorithm>
#include <deque>
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
bool makeFrame(const PixelImage* output, std::int32_t fw, std::int32_t fh,
               const PlacementSettings& settings, SearchFrame& f) {
    if (output == nullptr || fw <= 0 || fh <= 0) return false;
    const auto border = static_cast<std::int32_t>(settings.borderSize);
    // Read as signed, a border of 2^31 or more would start the scan left of and
    // above the image; no such position is ever inside it.
    if (border < 0) return false;
    f.stepX = activeStep(settings.gridAlignX);
    f.stepY = activeStep(settings.gridAlignY);
    f.startX = alignUp(f.stepX, border);
    f.startY = alignUp(f.stepY, border);
    f.limitX = Coord{imageWidth(output)} - border;
    f.limitY = Coord{imageHeight(output)} - border;
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

// Rows with identical occupancy. Runs are sorted, disjoint and never adjacent
// (touching runs are merged), so a gap between two runs is at least one pixel.
struct Span {
    std::vector<Run> runs;
    Coord widestGap = 0;  // widest free range between two runs
};

// The smallest aligned x >= from at which [x, x + extentW) is free in the span
// and stays below the column limit; kNone when there is none.
Coord firstFit(const Span& span, Coord from, const SearchFrame& f) {
    const Coord w = f.extentW;
    if (from + w > f.limitX) return kNone;
    const std::vector<Run>& runs = span.runs;
    if (runs.empty()) return from;
    // Cheap refusal of the common case, a row packed without a wide enough hole.
    if (runs.front().lo - from < w && span.widestGap < w && f.limitX - 1 - runs.back().hi < w) {
        return kNone;
    }
    auto run = std::lower_bound(runs.begin(), runs.end(), from,
                                [](const Run& r, Coord x) { return r.hi < x; });
    Coord x = from;
    for (;;) {
        if (x + w > f.limitX) return kNone;
        if (run == runs.end() || run->lo > x + w - 1) return x;
        x = alignUp(f.stepX, Coord{run->hi} + 1);
        while (run != runs.end() && run->hi < x) ++run;
    }
}

void insertRun(Span& span, std::int32_t lo, std::int32_t hi) {
    std::vector<Run>& runs = span.runs;
    // Runs that overlap or touch [lo, hi] merge with it.
    auto first = std::lower_bound(runs.begin(), runs.end(), Coord{lo} - 1,
                                  [](const Run& r, Coord v) { return r.hi < v; });
    auto last = first;
    Run merged{lo, hi};
    while (last != runs.end() && Coord{last->lo} <= Coord{hi} + 1) {
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
    span.widestGap = 0;
    for (std::size_t i = 1; i < runs.size(); ++i) {
        span.widestGap = std::max(span.widestGap, Coord{runs[i].lo} - runs[i - 1].hi - 1);
    }
}

constexpr std::int32_t kFirstRow = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kLastRow = std::numeric_limits<std::int32_t>::max();

}  // namespace

// Rows are grouped into spans of identical occupancy, keyed by their first row;
// the spans partition every int32 row, so the map is never empty. Memory grows
// with the distinct row boundaries of the rectangles, not with the atlas.
struct OccupancyIndex::Impl {
    std::map<std::int32_t, Span> spans{{kFirstRow, Span{}}};
    std::vector<Rect> rects;
    bool malformed = false;

    // Makes a span start at row (the rows before it keep their occupancy).
    void splitAt(std::int32_t row) {
        auto next = spans.upper_bound(row);
        auto holder = std::prev(next);
        if (holder->first != row) spans.emplace_hint(next, row, holder->second);
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
    impl_->splitAt(rect.top);
    if (rect.bottom != kLastRow) impl_->splitAt(rect.bottom + 1);
    for (auto it = impl_->spans.find(rect.top);
         it != impl_->spans.end() && it->first <= rect.bottom; ++it) {
        insertRun(it->second, rect.left, rect.right);
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

bool findPlacementReference(const PixelImage* output, std::int32_t fw, std::int32_t fh,
                            const std::vector<Rect>& occupiedRects,
                            const PlacementSettings& settings, Rect* result) {
    SearchFrame f;
    if (result == nullptr || !makeFrame(output, fw, fh, settings, f)) return false;
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

namespace {

// One span of the current band with its first fit from the start column.
struct BandSpan {
    const Span* span;
    Coord end;  // last row
    Coord fit;
};

// The smallest x that fits every span of the band, starting from a lower
// bound: each span's first fit only moves x right, so cycling until a full
// round leaves x unchanged gives the least common position.
Coord settleBand(const std::deque<BandSpan>& band, Coord x, const SearchFrame& f) {
    const std::size_t n = band.size();
    std::size_t unchanged = 0;
    for (std::size_t i = 0; unchanged < n; i = (i + 1) % n) {
        const Coord fit = firstFit(*band[i].span, x, f);
        if (fit == kNone) return kNone;
        if (fit != x) {
            x = fit;
            unchanged = 1;
        } else {
            ++unchanged;
        }
    }
    return x;
}

}  // namespace

// The scan's answer is the least (y, x), both aligned, whose extended window is
// free. Within one span of rows nothing changes, so after a failing row the
// next row worth trying is the first aligned one of a later span: a window
// starting lower in the same span meets every span the failed one met.
bool findPlacement(const PixelImage* output, std::int32_t fw, std::int32_t fh,
                   const OccupancyIndex& occupied, const PlacementSettings& settings,
                   Rect* result) {
    const OccupancyIndex::Impl* index = occupied.impl_.get();
    if (index != nullptr && index->malformed) {
        return findPlacementReference(output, fw, fh, index->rects, settings, result);
    }
    SearchFrame f;
    if (result == nullptr || !makeFrame(output, fw, fh, settings, f)) return false;
    if (f.startX + f.extentW > f.limitX || f.startY + f.extentH > f.limitY) return false;
    if (index == nullptr) {
        *result = toRect(f.startX, f.startY, f);
        return true;
    }

    const auto& spans = index->spans;
    auto feed = std::prev(spans.upper_bound(static_cast<std::int32_t>(f.startY)));
    std::deque<BandSpan> band;
    std::deque<BandSpan> fitMax;  // decreasing fits; front is the band's largest
    Coord lastBadEnd = kNone;     // last row of the latest span with no fit at all

    for (Coord y = f.startY; y + f.extentH <= f.limitY;) {
        const Coord bandBottom = y + f.extentH - 1;
        while (!band.empty() && band.front().end < y) band.pop_front();
        while (!fitMax.empty() && fitMax.front().end < y) fitMax.pop_front();
        while (feed != spans.end() && feed->first <= bandBottom) {
            const auto next = std::next(feed);
            const Coord end = next == spans.end() ? Coord{kLastRow} : Coord{next->first} - 1;
            if (end >= y) {
                const BandSpan entry{&feed->second, end, firstFit(feed->second, f.startX, f)};
                if (entry.fit == kNone) {
                    lastBadEnd = end;
                } else {
                    while (!fitMax.empty() && fitMax.back().fit <= entry.fit) fitMax.pop_back();
                    fitMax.push_back(entry);
                }
                band.push_back(entry);
            }
            feed = next;
        }
        if (lastBadEnd >= y) {
            y = alignUp(f.stepY, lastBadEnd + 1);
            continue;
        }
        const Coord x = settleBand(band, fitMax.front().fit, f);
        if (x != kNone) {
            *result = toRect(x, y, f);
            return true;
        }
        y = alignUp(f.stepY, band.front().end + 1);
    }
    return false;
}

}  // namespace tilvane
