#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "tests/textout/writer_harness.h"
#include "textout/text_writers.h"

namespace tilvane {
namespace {

using testing::Formatter;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The same placed image seen by all four writers: how the plain text writes it
// and which id the other three give it.
TEST(Writers, EntryIdsInEveryFormat) {
    struct Case {
        const char* name;
        const char* fileName;
        const char* prefix;
        const char* postfix;
        std::int32_t changeCase;
        const char* plainLine;
        const char* id;
    };
    const Case cases[] = {
        {"case 3 keeps the prefix", "hero.png", "spr_", "", 3, "spr_HERO = \"0 0 32 16\"",
         "spr_HERO"},
        {"case 1 upper-cases it", "hero.png", "spr_", "", 1, "SPR_HERO = \"0 0 32 16\"",
         "SPR_HERO"},
        {"punctuation only in plain text", "hero.png", "my-", ".x", 0, "my-hero = \"0 0 32 16\".x",
         "my_hero_x"},
        {"markup and quotes", "hero.png", "\"&<'>]}", "</root>", 0,
         "\"&<'>]}hero = \"0 0 32 16\"</root>", "_______hero__root_"},
        {"blanks and brackets", "my sprite (2).png", "", "", 0, "my_sprite__2_ = \"0 0 32 16\"",
         "my_sprite__2_"},
        {"only an extension", ".png", "", "", 0, " = \"0 0 32 16\"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobSettings settings = testing::exampleSettings();
        settings.namePrefix = c.prefix;
        settings.namePostfix = c.postfix;
        settings.changeCase = c.changeCase;
        BuildRun run = testing::heroRun();
        run.placedNames = {c.fileName};

        const auto plain = testing::format(formatPlainTextRects, settings, run);
        ASSERT_TRUE(plain);
        EXPECT_EQ(linesOf(*plain).at(2), c.plainLine);
        const auto json = testing::format(formatJsonRects, settings, run);
        ASSERT_TRUE(json);
        EXPECT_EQ(testing::jsonIds(*json), std::vector<std::string>{c.id});
        const auto xml = testing::format(formatXmlRects, settings, run);
        ASSERT_TRUE(xml);
        EXPECT_EQ(testing::xmlIds(*xml), std::vector<std::string>{c.id});
        const auto css = testing::format(formatCssRects, settings, run);
        ASSERT_TRUE(css);
        EXPECT_EQ(linesOf(*css).at(0), "." + std::string(c.id) + " {");
    }
}

TEST(Writers, PlainTextHeaderFollowsSortOrderAlone) {
    struct Case {
        std::int32_t sortOrder;
        std::uint32_t seed;
        const char* header;
    };
    const Case cases[] = {
        {0, 7, "// Sorting order: Alphabetical\n\n"},
        {1, 7, "// Sorting order: Image Size\n\n"},
        {2, 4294967295u, "// Sorting order: Random (Random Seed = 4294967295)\n\n"},
        {-1, 7, "// Sorting order: Image Size\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sortOrder);
        JobSettings settings = testing::exampleSettings();
        settings.sortOrder = c.sortOrder;
        settings.randomSeed = c.seed;
        EXPECT_EQ(testing::format(formatPlainTextRects, settings, BuildRun{}), c.header);
    }
}

TEST(Writers, JsonAndXmlTreatStylePairsAlike) {
    const BuildRun run = testing::heroAndCoinRun();
    for (const Formatter writer : {formatJsonRects, formatXmlRects}) {
        for (const auto& [style, twin] : {std::pair{kRectPositionComma, kRectPosition},
                                          std::pair{kRectEdgesComma, kRectEdges}}) {
            SCOPED_TRACE(style);
            JobSettings settings = testing::exampleSettings();
            settings.textFormat = style;
            const auto a = testing::format(writer, settings, run);
            settings.textFormat = twin;
            const auto b = testing::format(writer, settings, run);
            EXPECT_TRUE(a && b);
            EXPECT_EQ(a, b);
        }
    }
}

// The url is quoted; only what would end the string or the line is escaped.
TEST(Writers, CssBackgroundUrl) {
    struct Case {
        const char* name;
        const char* urlPrefix;
        const char* imageFile;
        const char* background;
    };
    const Case cases[] = {
        {"empty prefix", "", "/images/output/final.png",
         "\tbackground: url('final.png') no-repeat 0px 0px;"},
        {"the folder is never part of it", "imgs/", "/elsewhere/deeper/final.png",
         "\tbackground: url('imgs/final.png') no-repeat 0px 0px;"},
        {"other punctuation as typed", "../a b&<\"%s/", "/o/final.png",
         "\tbackground: url('../a b&<\"%s/final.png') no-repeat 0px 0px;"},
        {"quote and backslash", "it's\\", "/o/final.png",
         "\tbackground: url('it\\'s\\\\final.png') no-repeat 0px 0px;"},
        {"line break", "a\nb/", "/o/final.png",
         "\tbackground: url('a\\a b/final.png') no-repeat 0px 0px;"},
        {"quote in the image name", "imgs/", "/o/it's.png",
         "\tbackground: url('imgs/it\\'s.png') no-repeat 0px 0px;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobSettings settings = testing::exampleSettings();
        settings.cssUrlPrefix = c.urlPrefix;
        settings.outputImageFile = c.imageFile;
        const auto css = testing::format(formatCssRects, settings, testing::heroRun());
        ASSERT_TRUE(css);
        const auto lines = linesOf(*css);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[1], c.background);
    }
}

// Rectangles at the ends of the 32-bit range: sizes and negated positions are
// written as the numbers they are, not wrapped.
TEST(Writers, ExtremeRectanglesDoNotWrap) {
    JobSettings settings = testing::exampleSettings();
    BuildRun run = testing::heroRun();
    run.placedRects = {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}};
    const auto plain = testing::format(formatPlainTextRects, settings, run);
    EXPECT_EQ(linesOf(plain.value()).at(2),
              "hero = \"-2147483648 -2147483648 4294967296 4294967296\"");
    const auto css = testing::format(formatCssRects, settings, run);
    EXPECT_EQ(linesOf(css.value()).at(1),
              "\tbackground: url('imgs/final.png') no-repeat 2147483648px 2147483648px;");
    EXPECT_EQ(linesOf(css.value()).at(2), "\twidth: 4294967296px;");
    EXPECT_TRUE(testing::format(formatJsonRects, settings, run));
}

// What the writers, and the entries taken from the run, refuse.
TEST(Writers, Refusals) {
    struct Case {
        const char* name;
        Formatter writer;
        void (*spoil)(JobSettings&, BuildRun&);
        bool written;
    };
    const auto hugeTabs = [](JobSettings& s, BuildRun&) {
        s.convertTabs = 1;
        s.tabSize = 65537;
    };
    const auto maxTabs = [](JobSettings& s, BuildRun&) {
        s.convertTabs = 1;
        s.tabSize = 65536;
    };
    const auto farIndex = [](JobSettings&, BuildRun& r) { r.placedFileIndices = {5}; };
    const auto negativeIndex = [](JobSettings&, BuildRun& r) { r.placedFileIndices = {-1}; };
    const auto noIndex = [](JobSettings&, BuildRun& r) { r.placedFileIndices.clear(); };
    const auto shortSizes = [](JobSettings&, BuildRun& r) { r.originalSizes.clear(); };
    const auto noName = [](JobSettings&, BuildRun& r) { r.placedNames.clear(); };
    const auto uvNoWidth = [](JobSettings& s, BuildRun&) {
        s.textFormat = 4;
        s.outputWidth = 0;
    };
    const auto uvNoHeight = [](JobSettings& s, BuildRun&) {
        s.textFormat = 4;
        s.outputHeight = 0;
    };
    const auto noWidth = [](JobSettings& s, BuildRun&) {
        s.textFormat = 3;
        s.outputWidth = 0;
    };
    const Case cases[] = {
        {"json: tab size too large", formatJsonRects, hugeTabs, false},
        {"xml: tab size too large", formatXmlRects, hugeTabs, false},
        {"css: tab size too large", formatCssRects, hugeTabs, false},
        {"plain text has no indentation", formatPlainTextRects, hugeTabs, true},
        {"json: largest tab size", formatJsonRects, maxTabs, true},
        {"json: file index past the lists", formatJsonRects, farIndex, false},
        {"json: negative file index", formatJsonRects, negativeIndex, false},
        {"xml: no file index", formatXmlRects, noIndex, false},
        {"json: per-file list too short", formatJsonRects, shortSizes, false},
        {"plain text reads no file index", formatPlainTextRects, farIndex, true},
        {"css reads no file index", formatCssRects, farIndex, true},
        {"plain text: no name", formatPlainTextRects, noName, false},
        {"css: no name", formatCssRects, noName, false},
        {"plain text: uv of width 0", formatPlainTextRects, uvNoWidth, false},
        {"json: uv of width 0", formatJsonRects, uvNoWidth, false},
        {"xml: uv of height 0", formatXmlRects, uvNoHeight, false},
        {"css has no rect style", formatCssRects, uvNoWidth, true},
        {"width 0 is harmless without uv", formatJsonRects, noWidth, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobSettings settings = testing::exampleSettings();
        BuildRun run = testing::heroRun();
        c.spoil(settings, run);
        EXPECT_EQ(testing::format(c.writer, settings, run).has_value(), c.written);
    }
}

}  // namespace
}  // namespace tilvane
