#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/pack_request.h"

namespace tilvane {

// Fills the request from tilvane-pack's arguments (without the program name),
// starting from what it holds. Every option is declared once, with its check,
// its meaning and its default, and --help is made from the same declarations.
// --settings is read before every other option, whatever its place; a repeated
// option's last value wins and only that value is checked. Then the resulting
// settings are checked as a whole (unless --help or --version was given), so
// that whatever the build would refuse late, or save cut short, is refused
// before any work: --fit limits that hold no size of their shape, a fixed size
// larger than the image format stores, a --save-settings text longer than the
// file keeps. Empty on success, else the usage error to print.
std::optional<std::string> parsePackArguments(const std::vector<std::string>& args,
                                              PackRequest& request);

// The --help text: every option with its meaning and its default.
std::string packHelpText();

// One option as --help shows it.
struct PackOptionInfo {
    // "--width"
    std::string name;
    // What the value looks like: "N", "FILE", "DIR", "S", a range "0..4" or the
    // choices "name|size|random"; empty for a flag, which takes no value.
    std::string valueName;
    std::string meaning;
    // The default as --help shows it; empty when --help shows none.
    std::string defaultText;
};

// The declarations --help is made from, for the manual page and the shell
// completions: the summary above the options, every option in --help's order
// and the text below them (the exit statuses).
struct PackOptionTable {
    std::string summary;
    std::vector<PackOptionInfo> options;
    std::string footer;
};
PackOptionTable packOptionTable();

}  // namespace tilvane
