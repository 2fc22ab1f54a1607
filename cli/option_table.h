#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/pack_request.h"

namespace tilvane {

// One command-line option of tilvane-pack. The parser and --help are both
// made from the table, so the help can never disagree with what is accepted.
struct PackOption {
    std::string_view name;       // "--input"
    std::string_view valueName;  // "DIR"; empty for a flag
    std::string_view meaning;
    // Stores a value (or, for a flag, the flag) in the request; false when the
    // text is not acceptable, which is a usage error.
    bool (*apply)(PackRequest& request, std::string_view value);
    // The default shown by --help, from the default settings.
    std::string (*defaultText)(const JobSettings& defaults);
    // Applied before every other option (the settings file they override).
    bool early = false;
};

// Every option, in the order --help lists them.
std::span<const PackOption> packOptions();

// An unsigned 32-bit decimal number, as the dialog's number fields take it:
// digits only, no sign, no blanks, at most 4294967295.
std::optional<std::uint32_t> parseUnsignedDecimal(std::string_view text);

// The --help text.
std::string packHelpText();

}  // namespace tilvane
