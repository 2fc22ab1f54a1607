#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/build_extras.h"

namespace tilvane {

// Why a scale cannot be used, or nothing: it must be above 0 and at most kMaxScale.
std::optional<std::string> scaleRefusal(double scale);

// Why a suffix cannot name an atlas's files, or nothing: it may hold no "/"
// (the files stay in the folders given), no "," (which separates variants in
// a list) and no control character.
std::optional<std::string> suffixRefusal(std::string_view suffix);

// Reads one variant, "SUFFIX:S" (the suffix before the last ':', possibly
// empty; S a decimal fraction); why it cannot, or nothing.
std::optional<std::string> readScaleVariant(std::string_view text, ScaleVariant& variant);

// Reads a list of variants separated by ',' ("@2x:1,@1x:0.5"; empty: none);
// why it cannot (naming the variant that fails in a list of more, or the
// suffix given twice),
// or nothing. Nothing is stored when it cannot.
std::optional<std::string> readScaleVariants(std::string_view text,
                                             std::vector<ScaleVariant>& variants);

// The list as readScaleVariants reads it, each scale in its shortest text.
std::string scaleVariantsText(const std::vector<ScaleVariant>& variants);

// Why the job's scale and variants cannot be made, or nothing: a scale or
// suffix refused above, a scale other than 1 together with variants (each
// variant has its own), a suffix given twice.
std::optional<std::string> scaleVariantsRefusal(const BuildExtras& extras);

}  // namespace tilvane
