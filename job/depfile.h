#pragma once

#include <optional>
#include <string>
#include <vector>

#include "job/build.h"
#include "job/folder_search.h"

namespace tilvane {

// Why the job's depfile cannot be written, or nothing (also when the job asks
// for none): every name it would hold must be one depfileNameProblem accepts.
// Checked after the folder search and before any file is decoded: each
// candidate image of `entries` (a regular file with a supported extension),
// the folders searched, every output of the first page (a later page's name
// only adds "-N"), and the files the front end read.
std::optional<std::string> depfileRefusal(const BuildJob& job,
                                          const std::vector<FolderEntry>& entries);

// The depfile of a finished job: every output it writes (each page's image,
// mask and text file, then the settings file) as targets, in the order they
// are written; as prerequisites every image it read (listed or failed), in
// byte order, then the folders searched, so that a file added to one makes
// the outputs older than their inputs, then the files the front end read. A
// folder that also receives an output (the depfile too) is left out: every
// run changes it, and the outputs would never be up to date.
std::string depfileText(const BuildJob& job);

}  // namespace tilvane
