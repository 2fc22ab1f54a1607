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
// option's last value wins and only that value is checked. Empty on success,
// else the usage error to print.
std::optional<std::string> parsePackArguments(const std::vector<std::string>& args,
                                              PackRequest& request);

// The --help text: every option with its meaning and its default.
std::string packHelpText();

}  // namespace tilvane
