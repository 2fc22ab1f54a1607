#pragma once

#include <functional>
#include <ostream>

#include "model/jobspec.h"

namespace tilvane {

// tilvane-pack --watch: runs `build` (one whole run, answering its exit
// status), then watches the input folder (the tree with --recursive) with
// inotify and runs it again once the input images changed and 200 ms passed
// without another change, one line on err per rebuild with what changed and
// how long it took, until SIGINT or SIGTERM. A rebuild that fails leaves the
// last good outputs in place (every output commits together or not at all)
// and says so after the build's own messages. Events about files that are
// not input images (the outputs, their temporaries, the layout file) wake
// the watch but change nothing, so they never rebuild. Answers the last
// build's status; a folder that cannot be watched ends it after the first
// build with a line saying why and status 2.
int watchAndRebuild(const JobSpec& jobSpec, std::ostream& err, const std::function<int()>& build);

}  // namespace tilvane
