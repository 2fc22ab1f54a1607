#include "textout/entry_names.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "textout/source_rects.h"

namespace tilvane {
namespace {

TEST(EntryNames, EntryNameOf) {
    struct Case {
        const char* fileName;
        std::int32_t changeCase;
        const char* entryName;
    };
    const Case cases[] = {
        {"hero.walk.01.png", 0, "hero"},
        {"my sprite (2).png", 0, "my_sprite__2_"},
        {".png", 0, ""},
        {"noextension", 0, "noextension"},
        {"coin-big.png", 1, "COIN_BIG"},
        {"Mixed.Case.png", 2, "mixed"},
        {"hero.png", 3, "HERO"},
        {"hero.png", 9, "hero"},  // unknown case rule: unchanged
        // Each byte of a multi-byte character becomes one underscore, and
        // the case rule leaves it alone.
        {"caf\xC3\xA9.png", 1, "CAF__"},
        {"a\tb!c.d", 0, "a_b_c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName);
        EXPECT_EQ(entryNameOf(c.fileName, c.changeCase), c.entryName);
    }
}

TEST(EntryNames, PrepareAffixes) {
    struct Case {
        const char* name;
        const char* prefix;
        const char* postfix;
        std::int32_t changeCase;
        AffixRule rule;
        const char* preparedPrefix;
        const char* preparedPostfix;
    };
    const Case cases[] = {
        {"never cut at a dot", "a.b", "c.d", 0, AffixRule::identifier, "a_b", "c_d"},
        {"case 1 upper-cases", "spr_", "_End", 1, AffixRule::identifier, "SPR_", "_END"},
        {"case 2 lower-cases", "Spr ", "X", 2, AffixRule::asTyped, "spr ", "x"},
        {"quotes and markup", "<a href=\"&'", "\t;", 0, AffixRule::identifier, "_a_href____", "__"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const NameAffixes affixes = prepareAffixes(c.prefix, c.postfix, c.changeCase, c.rule);
        EXPECT_EQ(affixes.prefix, c.preparedPrefix);
        EXPECT_EQ(affixes.postfix, c.preparedPostfix);
    }
}

TEST(EntryNames, UvValues) {
    struct Case {
        const char* name;
        Rect rect;
        std::uint32_t width;
        std::uint32_t height;
        const char* expected;
    };
    const Case cases[] = {
        {"32 x 16 at 64, 0",
         {64, 0, 95, 15},
         512,
         512,
         "0.12500000 0.00000000 0.18554688 0.02929688"},
        {"last column is never 1",
         {500, 0, 511, 0},
         512,
         512,
         "0.97656250 0.00000000 0.99804688 0.00000000"},
        {"origin", {0, 0, 0, 0}, 512, 256, "0.00000000 0.00000000 0.00000000 0.00000000"},
        {"largest unsigned divisor",
         {0, 0, 2147483647, 1},
         4294967295u,
         3,
         "0.00000000 0.00000000 0.50000000 0.33333333"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SourceRectEntry entry;
        entry.left = c.rect.left;
        entry.top = c.rect.top;
        entry.right = c.rect.right;
        entry.bottom = c.rect.bottom;
        const UvRect uv = uvRectOf(entry, c.width, c.height);
        char text[128];
        std::snprintf(text, sizeof text, "%.8f %.8f %.8f %.8f", uv.u1, uv.v1, uv.u2, uv.v2);
        EXPECT_STREQ(text, c.expected);
    }
}

TEST(EntryNames, IndentUnit) {
    EXPECT_EQ(indentUnit(0, 4), "\t");
    EXPECT_EQ(indentUnit(0, 4000000000u), "\t");  // the size only counts when converting
    EXPECT_EQ(indentUnit(1, 0), "");
    EXPECT_EQ(indentUnit(1, 2), "  ");
    EXPECT_EQ(indentUnit(1, kMaxTabSize)->size(), kMaxTabSize);
    EXPECT_EQ(indentUnit(1, kMaxTabSize + 1), std::nullopt);
    EXPECT_EQ(indentUnit(1, 4294967295u), std::nullopt);
}

}  // namespace
}  // namespace tilvane
