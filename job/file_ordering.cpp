#include "job/file_ordering.h"

#include <algorithm>

#include "model/classic_random.h"

namespace tilvane {

namespace {

std::vector<std::int32_t> bySize(std::span<const std::int32_t> alphabetical,
                                 std::span<const std::pair<std::int64_t, std::int32_t>> pairs) {
    // Inserting each pair after every element of greater or equal area is a
    // stable sort by descending area; stable_sort gives the same order without
    // the quadratic walk.
    std::vector<std::pair<std::int64_t, std::int32_t>> sorted(pairs.begin(), pairs.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::int32_t> order;
    order.reserve(sorted.size());
    for (const auto& pair : sorted) order.push_back(pair.second);
    // The list is filled beside the file list; should they ever disagree, the
    // build must still get one entry per listed file.
    if (order.size() != alphabetical.size()) {
        return {alphabetical.begin(), alphabetical.end()};
    }
    return order;
}

std::vector<std::int32_t> atRandom(std::span<const std::int32_t> alphabetical, std::uint32_t seed,
                                   bool* fellBack) {
    const std::size_t n = alphabetical.size();
    ClassicRandom random(seed);
    std::vector<std::int32_t> order;
    order.reserve(n);
    std::vector<bool> taken(n, false);
    for (std::size_t position = 0; position < n; ++position) {
        std::size_t r = 0;
        int draws = 0;
        do {
            r = static_cast<std::size_t>(random.next()) % n;
            ++draws;
        } while (taken[r] && draws < kRandomDrawLimit);
        if (draws >= kRandomDrawLimit) {
            *fellBack = true;
            return {alphabetical.begin(), alphabetical.end()};
        }
        taken[r] = true;
        order.push_back(static_cast<std::int32_t>(r));
    }
    return order;
}

}  // namespace

std::vector<std::int32_t> orderFiles(
    std::span<const std::int32_t> alphabetical, std::int32_t sortOrder, std::uint32_t seed,
    std::span<const std::pair<std::int64_t, std::int32_t>> sizeSortList, bool* randomFellBack) {
    bool fellBack = false;
    if (!randomFellBack) randomFellBack = &fellBack;
    *randomFellBack = false;
    if (alphabetical.empty()) return {};
    switch (sortOrder) {
        case kSortBySize:
            return bySize(alphabetical, sizeSortList);
        case kSortRandom:
            return atRandom(alphabetical, seed, randomFellBack);
        default:
            return {alphabetical.begin(), alphabetical.end()};
    }
}

}  // namespace tilvane
