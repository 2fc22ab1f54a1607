#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/pack_request.h"
#include "cli/pack_run.h"

namespace tilvane {

// One atlas of a jobs file: its name (for every line it prints) and the
// request its options make.
struct PackAtlas {
    std::string name;
    PackRequest request;
};

// Reads a jobs file: a JSON object with "atlases", a list of objects, and
// optionally "defaults", an object every atlas starts from. An atlas's keys
// (but "name") are tilvane-pack's long option names without the dashes, with
// the values of the command line: a string or a number as the option's value,
// true for a flag given (false or null: not given, also to drop a default),
// a list for an option given once per element. Each atlas's options (the
// defaults, then its own, key by key) are parsed by parsePackArguments, so
// every option means what it means on the command line; "jobs", "help" and
// "version" are refused. Paths are taken as given, relative to the current
// folder. The atlases' names default to "atlas N" (N from 1) and must differ.
// Answers the atlases, or the usage error that names the file, the atlas and
// the key.
std::optional<std::string> readPackJobs(const std::string& path, std::vector<PackAtlas>& atlases);

// Why the atlases may not run together, or nothing: an output of one that is
// the same file as an output of another (their depfiles and settings files
// included), or one of the images another reads. Checked before any work.
std::optional<std::string> packJobsConflict(const std::vector<PackAtlas>& atlases);

// How a run of many atlases goes.
struct PackJobsOptions {
    // Atlases built at once, at most the number of atlases; 0: one more than
    // the cores.
    unsigned workers = 0;
    // MiB of decoded pixels all the atlases at work may keep together; each
    // keeps at most its share (and at most its own --memory-budget).
    std::uint32_t memoryBudgetMiB = 512;
};

// Builds every atlas, `workers` at a time; each one's lines go to the console
// whole once it is done, in the atlases' order, each line after "[NAME] ".
// A line on the error stream then names the atlases that failed. Answers the
// worst (highest) exit status of them.
int runPackJobs(const std::vector<PackAtlas>& atlases, const PackJobsOptions& options,
                PackConsole& console);

}  // namespace tilvane
