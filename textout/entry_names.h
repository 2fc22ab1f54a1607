#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tilvane {

// Everything before the name's first dot; the whole name when it has none.
// "hero.walk.01.png" gives "hero", ".png" gives "".
std::string stripAfterFirstDot(std::string_view name);

// Replaces, one for one, every byte that is not an ASCII letter or digit by
// the replacement, so the length never changes. Bytes of 0x80 and above (parts
// of multi-byte characters) are replaced each on their own.
std::string replaceNonAlphanumeric(std::string_view text, char replacement);

// The case rule of entry names: kCaseUpper and kCaseNamesUpper upper-case,
// kCaseLower lower-cases, any other value (in or out of the table) leaves the
// text as it is. ASCII letters only.
std::string applyNameCase(std::string_view text, std::int32_t changeCase);

// The case rule of the prefix and postfix: kCaseUpper upper-cases, kCaseLower
// lower-cases, any other value (kCaseNamesUpper included) leaves them as typed.
std::string applyAffixCase(std::string_view text, std::int32_t changeCase);

// The entry name of an image's file name: cut at the first dot, the case rule,
// then every character that is not a letter or digit becomes "_". Names are not
// made unique: a.png and a.jpg both give "a".
std::string entryNameOf(std::string_view fileName, std::int32_t changeCase);

// The prefix and postfix as a writer puts them around entry names.
struct NameAffixes {
    std::string prefix;
    std::string postfix;
};

// How a writer treats what the user typed as prefix and postfix.
enum class AffixRule {
    // Case rule only; every other character is kept (plain text).
    asTyped,
    // Case rule, then reduced to letters, digits and "_" (JSON, XML, CSS).
    identifier,
};

// Copies of the prefix and postfix under the rule; never cut at a dot.
NameAffixes prepareAffixes(std::string_view prefix, std::string_view postfix,
                           std::int32_t changeCase, AffixRule rule);

}  // namespace tilvane
