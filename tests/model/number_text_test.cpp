#include "model/number_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace tilvane {
namespace {

// The dialog's edits and tilvane-pack's options read numbers alike.
TEST(NumberText, UnsignedIsTrimmedPlainDecimal) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> value;
    };
    const std::vector<Case> cases = {
        {"0", 0u},          {" 512\t", 512u}, {"\r\n256 ", 256u}, {"4294967295", 4294967295u},
        {"4294967296", {}}, {"", {}},         {" \t", {}},        {"-1", {}},
        {"+1", {}},         {"1+", {}},       {"1 2", {}},        {"1x", {}},
        {"0x10", {}},       {"010", 10u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseUnsignedDecimal(c.text), c.value);
    }
}

TEST(NumberText, SignedTakesOneSignBeforeTheDigits) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const std::vector<Case> cases = {
        {" -7 ", -7}, {"+7", 7},  {"-2147483648", -2147483647 - 1}, {"2147483648", {}}, {"- 7", {}},
        {"-", {}},    {"7-", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseSignedDecimal(c.text), c.value);
    }
}

}  // namespace
}  // namespace tilvane
