#include "model/file_list.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "model/path_helpers.h"

namespace tilvane {

bool fileNameLess(std::string_view a, std::string_view b) {
    const int folded = compareNoCase(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

std::vector<std::string> sortedAsListBox(std::vector<std::string> lines) {
    std::stable_sort(lines.begin(), lines.end(),
                     [](const std::string& a, const std::string& b) { return fileNameLess(a, b); });
    return lines;
}

std::optional<int> FileList::add(std::string_view name) {
    // After any equal name, so equal names keep the order they were added in.
    const auto at = std::upper_bound(
        entries_.begin(), entries_.end(), name,
        [](std::string_view n, const Entry& e) { return fileNameLess(n, e.name); });
    try {
        const auto inserted = entries_.insert(at, Entry{std::string(name), 0});
        return static_cast<int>(inserted - entries_.begin());
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

bool FileList::setValue(int position, std::int32_t value) {
    if (!valid(position)) return false;
    entries_[static_cast<std::size_t>(position)].value = value;
    return true;
}

std::int32_t FileList::value(int position) const {
    return valid(position) ? entries_[static_cast<std::size_t>(position)].value : 0;
}

std::string FileList::text(int position) const {
    return valid(position) ? entries_[static_cast<std::size_t>(position)].name : std::string();
}

void FileList::remove(int position) {
    if (valid(position)) entries_.erase(entries_.begin() + position);
}

std::optional<int> FileList::findValue(std::int32_t value) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].value == value) return static_cast<int>(i);
    }
    return std::nullopt;
}

}  // namespace tilvane
