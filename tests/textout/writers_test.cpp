#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "tests/support/temp_dir.h"
#include "textout/depfile_writer.h"
#include "textout/text_writers.h"

namespace tilvane {
namespace {

using Formatter = std::optional<std::string> (*)(const JobSettings&,
                                                 std::span<const SourceRectEntry>);

// A run that placed the images named, in order, at the rectangles given; the
// images came from the files given, whose sizes before trimming and trim
// offsets the last two lists hold.
BuildRun runOf(std::vector<std::string> names, std::vector<std::int32_t> files,
               std::vector<Rect> placed, std::vector<Size> sizes, std::vector<Point> trims) {
    BuildRun run;
    run.placedNames = std::move(names);
    run.placedFileIndices = std::move(files);
    run.placedRects = std::move(placed);
    run.originalSizes = std::move(sizes);
    run.trimOffsets = std::move(trims);
    return run;
}

// hero.png, 40 x 20, trimmed to 32 x 16 from column 3, row 2, placed at 0, 0.
BuildRun heroRun() {
    return runOf({"hero.png"}, {0}, {{0, 0, 31, 15}}, {{40, 20}}, {{3, 2}});
}
const BuildRun kHero = heroRun();
// kHero's hero, then coin.png (8 x 8, untrimmed) at 64, 16. coin is file 0 and
// hero file 1, so entry order and file order differ.
const BuildRun kHeroAndCoin =
    runOf({"hero.png", "coin.png"}, {1, 0}, {{0, 0, 31, 15}, {64, 16, 71, 23}}, {{8, 8}, {40, 20}},
          {{0, 0}, {3, 2}});
// hero.png (32 x 16) at 0, 0 and coin-big.png (8 x 8) at 33, 0, untrimmed.
const BuildRun kHeroAndCoinBig =
    runOf({"hero.png", "coin-big.png"}, {0, 1}, {{0, 0, 31, 15}, {33, 0, 40, 7}},
          {{32, 16}, {8, 8}}, {{0, 0}, {0, 0}});
// hero.png at the ends of the 32-bit range.
const BuildRun kExtreme =
    runOf({"hero.png"}, {0}, {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}}, {{40, 20}}, {{3, 2}});
const BuildRun kEmpty;

// Settings at their defaults with the output image path the examples use (a
// seed shows only in the random order's header).
JobSettings exampleSettings() {
    JobSettings settings;
    settings.outputImageFile = "/images/output/final.png";
    settings.randomSeed = 4294967295u;
    return settings;
}

// The ids of a JSON document, read by a real JSON parser; fails the test when
// the text is not valid JSON.
std::vector<std::string> jsonIds(const std::string& text) {
    std::vector<std::string> ids;
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    EXPECT_TRUE(document.is_array()) << "not a valid JSON array:\n" << text;
    if (!document.is_array()) return ids;
    for (const auto& object : document) ids.push_back(object.value("id", std::string("<none>")));
    return ids;
}

// The id attributes of the image elements under root, read by libxml2; fails
// the test when the text is not well-formed XML.
std::vector<std::string> xmlIds(const std::string& text) {
    std::vector<std::string> ids;
    const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), "rects.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        &xmlFreeDoc);
    EXPECT_NE(document, nullptr) << "not well-formed XML:\n" << text;
    if (!document) return ids;
    const xmlNode* root = xmlDocGetRootElement(document.get());
    EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "root");
    for (const xmlNode* node = root->children; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        xmlChar* id = xmlGetProp(node, reinterpret_cast<const xmlChar*>("id"));
        ids.push_back(id ? reinterpret_cast<const char*>(id) : "<none>");
        xmlFree(id);
    }
    return ids;
}

// The writer's document for the run, with the entries taken from the run as
// the build takes them; empty when the run's lists or the writer refuse. Every
// JSON or XML document goes through the matching parser.
std::optional<std::string> format(Formatter formatter, const JobSettings& settings,
                                  const BuildRun& run) {
    const bool json = formatter == formatJsonRects;
    const bool xml = formatter == formatXmlRects;
    const auto entries =
        sourceRectEntries(run, json || xml ? EntryUse::withFileValues : EntryUse::rectsOnly);
    if (!entries) return std::nullopt;
    std::optional<std::string> text = formatter(settings, *entries);
    if (text && json) jsonIds(*text);
    if (text && xml) xmlIds(*text);
    return text;
}

// Line i of the text (its last line past its end).
std::string lineOf(const std::string& text, int i) {
    std::istringstream in(text);
    std::string line;
    while (i-- >= 0 && std::getline(in, line)) continue;
    return line;
}

// One golden file of tests/textout/golden/: the writer, the run it describes
// and the settings that differ between the examples; the rest are defaults.
// Sizes and negated positions at the ends of the 32-bit range are written as
// the numbers they are, not wrapped; the plain text header follows the sort
// order alone (an unknown one is Image Size).
// A textFormat of -1 is what an edited drop-down box gives during a build; JSON
// and XML write the styles with and without commas alike; the tab size counts
// only when converting tabs.
TEST(GoldenFiles, WritersReproduceTheirGoldenFiles) {
    using Row = std::tuple<const char*, Formatter, const BuildRun&, std::int32_t, std::int32_t,
                           const char*, std::int32_t, std::uint32_t, std::int32_t>;
    // clang-format off
    const Row cases[] = {
        // golden file                          writer               run             style case postfix tabs size sort
        {"plain_example_style0.txt",            formatPlainTextRects, kHeroAndCoinBig,  0,   1,   ";",    0,   4,   1},
        {"plain_example_style3.txt",            formatPlainTextRects, kHeroAndCoinBig,  3,   1,   ";",    0,   4,   1},
        {"plain_example_style4.txt",            formatPlainTextRects, kHeroAndCoinBig,  4,   1,   ";",    0,   4,   1},
        {"plain_empty.txt",                     formatPlainTextRects, kEmpty,           0,   0,   "",     0,   4,   1},
        {"plain_empty.txt",                     formatPlainTextRects, kHeroAndCoinBig, -1,   0,   "",     0,   4,   1},
        {"plain_empty.txt",                     formatPlainTextRects, kEmpty,           0,   0,   "",     0,   4,  -1},
        {"plain_alphabetical.txt",              formatPlainTextRects, kEmpty,           0,   0,   "",     0,   4,   0},
        {"plain_random.txt",                    formatPlainTextRects, kEmpty,           0,   0,   "",     0,   4,   2},
        {"plain_extreme.txt",                   formatPlainTextRects, kExtreme,         0,   0,   "",     0,   4,   1},
        {"json_example.json",                   formatJsonRects,     kHero,            0,   0,   "",     0,   4,   1},
        {"json_example.json",                   formatJsonRects,     kHero,            1,   0,   "",     0,   4294967295u, 1},
        {"json_empty.json",                     formatJsonRects,     kEmpty,           0,   0,   "",     0,   4,   1},
        {"json_tab_size_0.json",                formatJsonRects,     kHero,            0,   0,   "",     1,   0,   1},
        {"json_two_entries_tab_size_2.json",    formatJsonRects,     kHeroAndCoin,     4,   0,   "",     1,   2,   1},
        {"json_format_out_of_range.json",       formatJsonRects,     kHero,            5,   0,   "",     0,   4,   1},
        {"json_extreme.json",                   formatJsonRects,     kExtreme,         0,   0,   "",     0,   4,   1},
        {"xml_example.xml",                     formatXmlRects,      kHero,            2,   2,   "",     1,   4,   1},
        {"xml_empty.xml",                       formatXmlRects,      kEmpty,           0,   0,   "",     0,   4,   1},
        {"xml_tab_size_0.xml",                  formatXmlRects,      kHero,            2,   0,   "",     1,   0,   1},
        {"xml_two_entries_tab_size_2.xml",      formatXmlRects,      kHeroAndCoin,     0,   0,   "",     1,   2,   1},
        {"xml_two_entries_tab_size_2.xml",      formatXmlRects,      kHeroAndCoin,     1,   0,   "",     1,   2,   1},
        {"xml_format_out_of_range.xml",         formatXmlRects,      kHero,           -1,   0,   "",     1,   4,   1},
        {"css_example.css",                     formatCssRects,      kHeroAndCoin,     0,   0,   "",     0,   4,   1},
        {"css_empty.css",                       formatCssRects,      kEmpty,           0,   0,   "",     0,   4,   1},
        {"css_tab_size_0.css",                  formatCssRects,      kHero,            0,   0,   "",     1,   0,   1},
        {"css_tab_size_2.css",                  formatCssRects,      kHeroAndCoin,     0,   0,   "",     1,   2,   1},
        {"css_extreme.css",                     formatCssRects,      kExtreme,         0,   0,   "",     0,   4,   1},
    };
    // clang-format on
    for (const auto& [golden, writer, run, style, changeCase, postfix, tabs, size, sort] : cases) {
        SCOPED_TRACE(golden);
        JobSettings settings = exampleSettings();
        settings.textFormat = style;
        settings.changeCase = changeCase;
        settings.namePostfix = postfix;
        settings.convertTabs = tabs;
        settings.tabSize = size;
        settings.sortOrder = sort;
        EXPECT_EQ(
            format(writer, settings, run),
            testing::readFile(TILVANE_SOURCE_DIR "/tests/textout/golden/" + std::string(golden)));
    }
}

// The name each writer gives kHero's image: the id of JSON, XML and CSS, and
// what plain text writes (the id and the rectangle unless given).
TEST(Writers, EntryNamesInEveryFormat) {
    struct Case {
        const char* fileName;
        const char* prefix;
        const char* postfix;
        std::int32_t changeCase;
        const char* id;
        std::string plainLine = std::string(id) + " = \"0 0 32 16\"";
    };
    const Case cases[] = {
        {"hero.walk.01.png", "", "", 0, "hero"},
        {"my sprite (2).png", "", "", 0, "my_sprite__2_"},
        {".png", "", "", 0, ""},
        {"hero.png", "", "", 9, "hero"},  // unknown case rule: unchanged
        // Each byte of a multi-byte character becomes one underscore, and the
        // case rule leaves it alone.
        {"caf\xC3\xA9.png", "", "", 1, "CAF__"},
        {"hero\t!.png", "spr_", "", 3, "spr_HERO__"},  // case 3 keeps the prefix
        {"hero.png", "spr_", "_End", 1, "SPR_HERO_END", "SPR_HERO = \"0 0 32 16\"_END"},
        {"Hero-Big.png", "Spr ", "X", 2, "spr_hero_bigx", "spr hero_big = \"0 0 32 16\"x"},
        // Punctuation, markup and quotes only in plain text.
        {"hero.png", "my-", ".x", 0, "my_hero_x", "my-hero = \"0 0 32 16\".x"},
        {"hero.png", "\"&<'>]}", "</root>", 0, "_______hero__root_",
         "\"&<'>]}hero = \"0 0 32 16\"</root>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plainLine);
        JobSettings settings = exampleSettings();
        settings.namePrefix = c.prefix;
        settings.namePostfix = c.postfix;
        settings.changeCase = c.changeCase;
        BuildRun run = heroRun();
        run.placedNames = {c.fileName};
        EXPECT_EQ(lineOf(format(formatPlainTextRects, settings, run).value(), 2), c.plainLine);
        EXPECT_EQ(jsonIds(format(formatJsonRects, settings, run).value()),
                  std::vector<std::string>{c.id});
        EXPECT_EQ(xmlIds(format(formatXmlRects, settings, run).value()),
                  std::vector<std::string>{c.id});
        EXPECT_EQ(lineOf(format(formatCssRects, settings, run).value(), 0),
                  "." + std::string(c.id) + " {");
    }
}

// The url is quoted; only what would end the string or the line is escaped.
// (The golden CSS shows the url without the image's folder.)
TEST(Writers, CssBackgroundUrl) {
    // The url prefix, the image file and the url.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"../a b&<\"%s/", "/o/final.png", "../a b&<\"%s/final.png"},
        {"it's\\", "/o/final.png", "it\\'s\\\\final.png"},
        {"a\nb/", "/o/final.png", "a\\a b/final.png"},
        {"imgs/", "/o/it's.png", "imgs/it\\'s.png"},
    };
    for (const auto& [urlPrefix, imageFile, url] : cases) {
        JobSettings settings = exampleSettings();
        settings.cssUrlPrefix = urlPrefix;
        settings.outputImageFile = imageFile;
        EXPECT_EQ(lineOf(format(formatCssRects, settings, kHero).value(), 1),
                  "\tbackground: url('" + std::string(url) + "') no-repeat 0px 0px;");
    }
}

// What each writer, with the entries taken from the run, refuses: the rows
// name the writers that still write (p plain text, j JSON, x XML, c CSS).
TEST(Writers, Refusals) {
    using Spoil = void (*)(JobSettings&, BuildRun&);
    const Formatter writers[] = {formatPlainTextRects, formatJsonRects, formatXmlRects,
                                 formatCssRects};
    const std::tuple<const char*, Spoil, const char*> cases[] = {
        {"tab size too large", [](auto& s, auto&) { s.tabSize = 65537; }, "p"},
        {"largest tab size", [](auto& s, auto&) { s.tabSize = 65536; }, "pjxc"},
        {"file index past the lists", [](auto&, auto& r) { r.placedFileIndices = {5}; }, "pc"},
        {"per-file list too short", [](auto&, auto& r) { r.originalSizes.clear(); }, "pc"},
        {"no name", [](auto&, auto& r) { r.placedNames.clear(); }, ""},
        {"uv of width 0", [](auto& s, auto&) { s.outputWidth = 0; }, "c"},
        {"uv of height 0", [](auto& s, auto&) { s.outputHeight = 0; }, "c"},
        {"width 0 without uv", [](auto& s, auto&) { s.textFormat = 3, s.outputWidth = 0; }, "pjxc"},
    };
    for (const auto& [name, spoil, writes] : cases) {
        for (int w = 0; w < 4; ++w) {
            const char letter = "pjxc"[w];
            SCOPED_TRACE(std::string(name) + ", " + letter);
            JobSettings settings = exampleSettings();
            settings.convertTabs = 1;
            settings.textFormat = 4;  // uv
            BuildRun run = heroRun();
            spoil(settings, run);
            const bool written = std::string(writes).find(letter) != std::string::npos;
            EXPECT_EQ(format(writers[w], settings, run).has_value(), written);
        }
    }
}

// Each name as a depfile spells it, or why it cannot be named. Names with a
// space, $, # or : are read back by the real Ninja and Make in
// tests/cli/build_systems_test.sh ("names"); here, the rarer ones.
TEST(Writers, DepfileNames) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"backslashes before a space doubled, one more", "a\\\\ b", "a\\\\\\\\\\ b"},
        {"a backslash elsewhere as it is", "a\\b", "a\\b"},
        {"folder", "in put/", "in\\ put/"},
        {"quote", "it's", nullptr},
        {"semicolon", "a;b", nullptr},
        {"equals, Make's assignment", "a=b", nullptr},
        {"percent, Make's pattern", "50%", nullptr},
        {"tab", "a\tb", nullptr},
        {"new line", "a\nb", nullptr},
        {"colon at the end", "drive:", nullptr},
        {"backslash at the end", "a\\", nullptr},
        {"backslash before a dollar", "a\\$b", nullptr},
        {"empty", "", nullptr},
    };
    for (const auto& [name, path, escaped] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(!depfileNameProblem(path), escaped != nullptr);
        if (escaped) {
            EXPECT_EQ(escapeDepfileName(path), escaped);
        }
    }
    // Targets, then prerequisites one a line, each repeated name once, and an
    // empty rule for each prerequisite.
    EXPECT_EQ(formatDepfile({"o.png", "o.json", "o.png"}, {"i/a b.png", "i/", "i/a b.png"}),
              "o.png o.json: \\\n  i/a\\ b.png \\\n  i/\n\ni/a\\ b.png:\n\ni/:\n");
}

}  // namespace
}  // namespace tilvane
