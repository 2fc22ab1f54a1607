#include "job/build.h"

namespace tilvane {

// PLACEHOLDER: not implemented yet.
void startBuild(BuildJob&) {}
void clearRun(BuildRun&) {}
void addFailure(BuildRun&, std::string_view, std::string_view) {}
bool checkOutputPaths(BuildJob&) { return false; }
void buildStep(BuildJob&) {}
void finishBuild(BuildJob&) {}
void onTimerTick(BuildJob&, int) {}
bool stepGuardActive() { return false; }

}  // namespace tilvane
