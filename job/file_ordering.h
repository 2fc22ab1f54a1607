#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "model/choice_tables.h"

namespace tilvane {

// The draws one position of the random order may take before the whole order
// gives up and falls back to the alphabetical one.
inline constexpr int kRandomDrawLimit = 1000;

// The order in which the build places its files, as file indices.
// alphabetical: the file indices of the file list's entries, in list order;
// sizeSortList: (trimmed area, file index) in file-index order, used by sortOrder 1.
// sortOrder 0, and any value outside 0 to 2, gives the alphabetical order;
// 1 the largest area first, equal areas in file-index (folder-search) order;
// 2 a permutation drawn from ClassicRandom seeded with seed, or the alphabetical
// order when some position needed kRandomDrawLimit draws. The result always has
// as many entries as alphabetical. randomFellBack, when given, is set to
// whether that fallback happened (false for every other order); at 1000 files
// it does for about half the seeds.
std::vector<std::int32_t> orderFiles(
    std::span<const std::int32_t> alphabetical, std::int32_t sortOrder, std::uint32_t seed,
    std::span<const std::pair<std::int64_t, std::int32_t>> sizeSortList,
    bool* randomFellBack = nullptr);

}  // namespace tilvane
