#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tilvane {

// The text of a number field, read the same way by the dialog's edits and by
// tilvane-pack's options: white space around it is ignored (as trimWhiteSpace
// removes it), then decimal digits only, at most 4294967295. Empty for
// anything else: no sign, no blanks inside, no other base (010 is ten).
std::optional<std::uint32_t> parseUnsignedDecimal(std::string_view text);

// A signed 32-bit decimal integer: white space around it ignored, an optional
// '+' or '-' before the digits. Empty for anything else or out of range.
std::optional<std::int32_t> parseSignedDecimal(std::string_view text);

// A non-negative decimal fraction such as "0.5", "2" or "0.333": white space
// around it ignored, then digits, optionally a '.' and more digits, at most 24
// characters. Empty for anything else: no sign, no exponent, no bare '.'.
std::optional<double> parseDecimalFraction(std::string_view text);

// The shortest decimal text that reads back as the value ("0.5", "1", "2.25").
std::string decimalText(double value);

}  // namespace tilvane
