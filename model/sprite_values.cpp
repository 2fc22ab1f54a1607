#include "model/sprite_values.h"

#include <charconv>
#include <cmath>

#include "model/path_helpers.h"

namespace tilvane {

namespace {

std::optional<double> parseCoordinate(std::string_view text) {
    const std::string trimmed = trimWhiteSpace(std::string(text));
    std::string_view digits = trimmed;
    // from_chars takes no '+'; one sign is allowed.
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') return std::nullopt;
    }
    if (digits.empty() || digits.front() == '+') return std::nullopt;
    double value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] =
        std::from_chars(digits.data(), end, value, std::chars_format::general);
    if (error != std::errc() || stop != end) return std::nullopt;
    if (!std::isfinite(value) || std::fabs(value) > kMaxPivot) return std::nullopt;
    return value;
}

}  // namespace

std::optional<Pivot> parsePivotText(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const auto x = parseCoordinate(text.substr(0, comma));
    const auto y = parseCoordinate(text.substr(comma + 1));
    if (!x || !y) return std::nullopt;
    return Pivot{*x, *y};
}

std::string pivotText(const Pivot& pivot) {
    std::string out;
    for (const double value : {pivot.x, pivot.y}) {
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        if (!out.empty()) out += ',';
        out.append(buffer, result.ptr);
    }
    return out;
}

bool bordersFit(const Borders& borders, std::uint32_t width, std::uint32_t height) {
    return std::uint64_t{borders.left} + borders.right <= width &&
           std::uint64_t{borders.top} + borders.bottom <= height;
}

}  // namespace tilvane
