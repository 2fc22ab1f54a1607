#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tilvane {

// tilvane-pack's exit statuses.
enum PackStatus : int {
    kPackDone = 0,
    kPackDoneWithFailures = 1,
    kPackUsageOrRefused = 2,
    kPackSaveFailed = 3,
    kPackNoFiles = 4,
};

// Seconds spent in each phase of one build, from timestamps the job takes as
// it enters each phase. Placing is the steps' time in placement's search and
// index appends, timed around each call as the steps run; drawing is the
// steps' time less placing (decoding the files whose pixels the scan did not
// keep, the 32-bit conversion and the copy into the atlas).
struct PackTimings {
    double scanning = 0;
    // Choosing the atlas sizes and pages (--fit, --pages), after the scan.
    double sizing = 0;
    double placing = 0;
    double drawing = 0;
    double saving = 0;
    // Reading the written atlases back and checking them (--verify).
    double verifying = 0;
    // Occupancy: each drawn page's footprint area (sprites with their rings,
    // spacing and grid) over its atlas area, and the sums' ratio over all pages.
    std::vector<double> pageOccupancy;
    double occupancy = 0;
};

// Where a run writes and whether it may draw progress (the caller decides
// whether these are terminals), and the width of the error stream's terminal
// (unset or 0 when unknown).
struct PackConsole {
    std::ostream& out;
    std::ostream& err;
    bool terminal = false;
    std::function<int()> columns;
};

struct PackRequest;
struct JobSpec;

// The job a parsed request asks for.
JobSpec jobSpecOf(const PackRequest& request);

// Runs tilvane-pack with the given arguments (without the program name) and
// answers its exit status. With timings given, the phases are measured into it
// whether or not --timings was asked for.
int runPack(const std::vector<std::string>& args, PackConsole& console,
            PackTimings* timings = nullptr);

// Builds what a parsed request asks for (one atlas; not --help, --version or
// --jobs) and answers its exit status, as runPack does.
int runPackRequest(const PackRequest& request, PackConsole& console,
                   PackTimings* timings = nullptr);

}  // namespace tilvane
