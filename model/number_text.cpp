#include "model/number_text.h"

#include <limits>
#include <string>

#include "model/path_helpers.h"

namespace tilvane {

std::optional<std::uint32_t> parseUnsignedDecimal(std::string_view text) {
    const std::string digits = trimWhiteSpace(text);
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::int32_t> parseSignedDecimal(std::string_view text) {
    const std::string trimmed = trimWhiteSpace(text);
    std::string_view digits = trimmed;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    // The magnitude may reach 2147483648, the size of the most negative value.
    const auto magnitude = parseUnsignedDecimal(digits);
    if (!magnitude || digits.size() != trimWhiteSpace(digits).size()) return std::nullopt;
    const std::int64_t value = negative ? -std::int64_t{*magnitude} : std::int64_t{*magnitude};
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace tilvane
