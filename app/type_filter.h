#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/choice_tables.h"

namespace tilvane {

// A file dialog's filter list in the form WindowServices::chooseFile takes:
// pairs of zero-terminated description and pattern, ended by one more zero.
struct TypeFilter {
    std::string list;
    // The extension of each emitted type entry, in emitted order ("All Files"
    // is not among them).
    std::vector<std::string> extensions;
};

// The n types of the table starting with `first` and wrapping around, then
// "All Files". A `first` outside the table counts as 0. Each entry reads
// "<description> (*<ext>)" with the pattern "*<ext>".
TypeFilter buildTypeFilter(ChoiceTable extensions, ChoiceTable descriptions, int first);

// The Save/Load Settings filter: "Settings Files (*.cfg)" then "All Files (*.*)".
std::string settingsFileFilter();

// One description/pattern pair of a filter list.
struct FilterEntry {
    std::string description;
    std::string pattern;
};

// Splits a filter list; stops at the terminating empty description or at the
// end of the text, whichever comes first, and ignores a pair cut short.
std::vector<FilterEntry> parseFilterList(std::string_view list);

// An unsigned decimal number edit's text: optional blanks around decimal
// digits, at most 4294967295. Empty for anything else (signs included).
std::optional<std::uint32_t> parseUnsignedText(std::string_view text);

// A signed decimal integer in 32 bits with optional blanks and sign.
std::optional<std::int32_t> parseSignedText(std::string_view text);

}  // namespace tilvane
