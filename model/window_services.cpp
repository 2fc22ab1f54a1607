#include "model/window_services.h"

#include "model/build_run.h"
#include "model/job_settings.h"

namespace tilvane {

void applyRefreshRules(JobSettings& settings, BuildRun& run, FileList& fileList, bool refill) {
    run.textFileType = textFileTypeOf(settings.outputTextFile);
    if (refill) fileList.reset();
    if (settings.cropAlpha > 255) settings.cropAlpha = 255;
}

}  // namespace tilvane
