#include "textout/text_writers.h"

namespace tilvane {

// PLACEHOLDER: not implemented yet.
bool writePlainTextRects(const JobSettings&, BuildRun&) { return false; }
bool writeJsonRects(const JobSettings&, BuildRun&) { return false; }
bool writeXmlRects(const JobSettings&, BuildRun&) { return false; }
bool writeCssRects(const JobSettings&, BuildRun&) { return false; }

}  // namespace tilvane
