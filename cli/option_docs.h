#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/option_table.h"

namespace tilvane {

// What a shell offers for an option's value, read from its value name.
enum class ValueCompletion {
    // A flag: the option takes no value.
    none,
    // "FILE": file names.
    file,
    // "DIR": folder names.
    folder,
    // "a|b|c" or a range "lo..hi" of at most 64 numbers: exactly those words.
    choices,
    // Anything else ("N", "S", a wide range): nothing to offer.
    freeText,
};
ValueCompletion valueCompletionOf(std::string_view valueName);

// The words of a choices value name, in order ("0..2" gives "0", "1", "2");
// empty for any other value name.
std::vector<std::string> valueChoices(std::string_view valueName);

// The manual page tilvane-pack.1 (man macros), with the options in the
// table's order, each with its meaning and default, and the table's footer as
// the exit statuses. version goes into the page's title line.
std::string packManPage(const PackOptionTable& table, std::string_view version);

// Completion scripts for bash (sourced; defines _tilvane_pack and registers it
// with `complete`), zsh (an autoloaded _tilvane-pack function file) and fish
// (a file of `complete` lines). Each completes the option names and, after an
// option, its value as valueCompletionOf says.
std::string packBashCompletion(const PackOptionTable& table);
std::string packZshCompletion(const PackOptionTable& table);
std::string packFishCompletion(const PackOptionTable& table);

}  // namespace tilvane
