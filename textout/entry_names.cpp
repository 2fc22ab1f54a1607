#include "textout/entry_names.h"

#include "model/choice_tables.h"
#include "model/path_helpers.h"

namespace tilvane {

namespace {

bool isAsciiAlphanumeric(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string stripAfterFirstDot(std::string_view name) {
    return std::string(name.substr(0, name.find('.')));
}

std::string replaceNonAlphanumeric(std::string_view text, char replacement) {
    std::string result(text);
    for (char& c : result) {
        if (!isAsciiAlphanumeric(c)) c = replacement;
    }
    return result;
}

std::string applyNameCase(std::string_view text, std::int32_t changeCase) {
    if (changeCase == kCaseUpper || changeCase == kCaseNamesUpper) return toUpperAscii(text);
    if (changeCase == kCaseLower) return toLowerAscii(text);
    return std::string(text);
}

std::string applyAffixCase(std::string_view text, std::int32_t changeCase) {
    if (changeCase == kCaseUpper) return toUpperAscii(text);
    if (changeCase == kCaseLower) return toLowerAscii(text);
    return std::string(text);
}

std::string entryNameOf(std::string_view fileName, std::int32_t changeCase) {
    return replaceNonAlphanumeric(applyNameCase(stripAfterFirstDot(fileName), changeCase), '_');
}

NameAffixes prepareAffixes(std::string_view prefix, std::string_view postfix,
                           std::int32_t changeCase, AffixRule rule) {
    NameAffixes affixes{applyAffixCase(prefix, changeCase), applyAffixCase(postfix, changeCase)};
    if (rule == AffixRule::identifier) {
        affixes.prefix = replaceNonAlphanumeric(affixes.prefix, '_');
        affixes.postfix = replaceNonAlphanumeric(affixes.postfix, '_');
    }
    return affixes;
}

}  // namespace tilvane
