#include "model/number_text.h"

#include <charconv>
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

std::optional<double> parseDecimalFraction(std::string_view text) {
    const std::string trimmed = trimWhiteSpace(text);
    if (trimmed.empty() || trimmed.size() > 24) return std::nullopt;
    const std::size_t dot = trimmed.find('.');
    const auto digitsOnly = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    const std::string_view whole = std::string_view(trimmed).substr(0, dot);
    if (!digitsOnly(whole)) return std::nullopt;
    if (dot != std::string::npos && !digitsOnly(std::string_view(trimmed).substr(dot + 1))) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (error != std::errc() || end != trimmed.data() + trimmed.size()) return std::nullopt;
    return value;
}

std::string decimalText(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace tilvane
