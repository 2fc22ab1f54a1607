#pragma once

#include <string>

namespace tilvane {

// The texts of the About dialog.
inline constexpr const char* kVersionLine = "Tilvane Version 1.0.3";
std::string aboutNoticeLine();
std::string aboutSummaryText();
// The libraries this program is built on, each with its licence notice.
std::string aboutCreditsText();

}  // namespace tilvane
