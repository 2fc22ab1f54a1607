#include "app/type_filter.h"

#include <algorithm>
#include <limits>

namespace tilvane {

namespace {

void appendEntry(std::string& list, std::string_view description, std::string_view extension) {
    list += description;
    list += " (*";
    list += extension;
    list += ')';
    list += '\0';
    list += '*';
    list += extension;
    list += '\0';
}

std::string_view trimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

TypeFilter buildTypeFilter(ChoiceTable extensions, ChoiceTable descriptions, int first) {
    TypeFilter filter;
    const int n = static_cast<int>(std::min(extensions.size(), descriptions.size()));
    if (first < 0 || first >= n) first = 0;
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>((first + i) % n);
        appendEntry(filter.list, descriptions[k], extensions[k]);
        filter.extensions.emplace_back(extensions[k]);
    }
    appendEntry(filter.list, "All Files", ".*");
    filter.list += '\0';
    return filter;
}

std::string settingsFileFilter() {
    std::string list;
    appendEntry(list, "Settings Files", ".cfg");
    appendEntry(list, "All Files", ".*");
    list += '\0';
    return list;
}

std::vector<FilterEntry> parseFilterList(std::string_view list) {
    std::vector<FilterEntry> entries;
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t descriptionEnd = list.find('\0', at);
        if (descriptionEnd == std::string_view::npos || descriptionEnd == at) break;
        const std::size_t patternEnd = list.find('\0', descriptionEnd + 1);
        if (patternEnd == std::string_view::npos) break;
        entries.push_back(
            {std::string(list.substr(at, descriptionEnd - at)),
             std::string(list.substr(descriptionEnd + 1, patternEnd - descriptionEnd - 1))});
        at = patternEnd + 1;
    }
    return entries;
}

std::optional<std::uint32_t> parseUnsignedText(std::string_view text) {
    const std::string_view digits = trimBlanks(text);
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::int32_t> parseSignedText(std::string_view text) {
    std::string_view digits = trimBlanks(text);
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace tilvane
