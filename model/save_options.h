#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tilvane {

// A TIFF compression the save-options dialog offers; the code goes unchanged
// into the TIFF options record.
struct CompressionChoice {
    std::string_view name;
    std::int32_t code;
};

inline constexpr std::array<CompressionChoice, 3> kTiffCompressionChoices = {{
    {"NONE", 0},
    {"MACINTOSH", 9},
    {"ZIP", 13},
}};

}  // namespace tilvane
