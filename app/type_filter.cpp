#include "app/type_filter.h"

#include <algorithm>

namespace tilvane {

namespace {

FileFilter typeEntry(std::string_view description, std::string_view extension) {
    std::string pattern = "*";
    pattern += extension;
    return {std::string(description), pattern};
}

// Every file: "*.*" would leave out the names without a dot.
FileFilter allFiles() {
    return {"All Files", "*"};
}

}  // namespace

TypeFilter buildTypeFilter(ChoiceTable extensions, ChoiceTable descriptions, int first) {
    TypeFilter filter;
    const int n = static_cast<int>(std::min(extensions.size(), descriptions.size()));
    if (first < 0 || first >= n) first = 0;
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>((first + i) % n);
        filter.filters.push_back(typeEntry(descriptions[k], extensions[k]));
        filter.extensions.emplace_back(extensions[k]);
    }
    filter.filters.push_back(allFiles());
    return filter;
}

std::vector<FileFilter> settingsFileFilter() {
    return {typeEntry("Settings Files", ".cfg"), allFiles()};
}

}  // namespace tilvane
