#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/jobspec.h"
#include "settings/extension_block.h"

namespace tilvane {

// How an option takes its value: a flag is on or off ("1" or "0" in the
// settings file, no value on the command line), a number is an unsigned
// decimal within a range, a choice one of a list, a text anything on one line.
enum class OptionKind { flag, number, choice, text };

// One value a choice offers; "" stands for the option not given.
struct OptionChoice {
    std::string value;
    // What the dialog shows for it.
    std::string label;
};

// An option beyond the described fields. The one table of them is read by
// tilvane-pack (each row is its --KEY option; do not declare it again there),
// by the settings file's extension block (KEY=VALUE) and by the dialog's "More
// options" tab, so that an option added here reaches all three.
struct ExtensionOption {
    // tilvane-pack's long option name without its dashes.
    std::string key;
    OptionKind kind = OptionKind::flag;
    // What --help shows for the value ("N", "any|pot"); empty for a flag.
    std::string valueName;
    // --help's text and default.
    std::string meaning;
    std::string defaultText;
    // The dialog's label, "&" before its mnemonic.
    std::string label;
    // A choice's values in the order the dialog offers them.
    std::vector<OptionChoice> choices;
    // A number's range. A number whose default job writes "" may also be unset
    // (read from ""): the dialog then offers defaultText below the least.
    std::uint32_t least = 0;
    std::uint32_t most = 0;
    // A text that lists values separated by ',': on the command line the
    // option is given once per value, in order, and they are read joined.
    bool repeatable = false;
    // Takes a value as the command line gives it (a flag: "1" or "0"); the
    // reason it is refused, else empty. A refused value changes nothing.
    std::function<std::optional<std::string>(const std::string&, JobSpec&)> read;
    // The value as the command line gives it; a default job gives the default.
    std::function<std::string(const JobSpec&)> write;
};

const std::vector<ExtensionOption>& extensionOptions();
const ExtensionOption* findExtensionOption(std::string_view key);

// The entries the settings file keeps for the job: every option whose value
// differs from the default, in the table's order, then the kept entries of
// keys this version does not know. Empty when every option is at its default,
// so the file is then the described 28 fields alone.
std::vector<ExtensionEntry> extensionEntriesOf(const JobSpec& jobSpec);

// Applies a settings file's entries in order: known keys are read into the
// job, unknown ones kept in jobSpec.keptExtensions (to be written back). The
// problems, one per refused entry ("fit=round: not one of any|pot|...").
std::vector<std::string> applyExtensionEntries(const std::vector<ExtensionEntry>& entries,
                                               JobSpec& jobSpec);

// The settings file a job saves: its 28 fields and its extension block.
std::string settingsFileBytes(const JobSpec& jobSpec);

}  // namespace tilvane
