#include "textout/engine_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace tilvane {
namespace {

// A libGDX atlas read as its documentation describes the format: name lines
// (pages and regions alike) each followed by "key: values" lines, of which the
// numbers are kept (format, filter and repeat keep none).
using GdxAtlas = std::map<std::string, std::map<std::string, std::vector<int>>>;

GdxAtlas parseGdxAtlas(const std::string& text) {
    GdxAtlas atlas;
    std::stringstream in(text);
    std::string name;
    for (std::string line; std::getline(in, line);) {
        line.erase(0, line.find_first_not_of(" \t"));
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string::npos) {
            if (!line.empty()) atlas[name = line];
            continue;
        }
        std::stringstream values(line.substr(colon + 1));
        std::vector<int>& numbers = atlas[name][line.substr(0, colon)];
        for (std::string item; std::getline(values, item, ',');) {
            int number = 0;
            if (std::istringstream(item) >> number) numbers.push_back(number);
        }
    }
    return atlas;
}

using Numbers = std::vector<int>;

TEST(GdxAtlas, ParserReadsTheDocumentationsExampleAndOurRegions) {
    std::ifstream file(std::string(TILVANE_SOURCE_DIR) +
                       "/tests/textout/golden/gdx_documentation_example.atlas");
    GdxAtlas example = parseGdxAtlas({std::istreambuf_iterator<char>(file), {}});
    EXPECT_EQ(example["page1.png"]["size"], (Numbers{640, 480}));
    EXPECT_EQ(example["dagger"]["bounds"], (Numbers{372, 100, 26, 108}));
    EXPECT_EQ(example["head"]["index"], (Numbers{0}));
    EXPECT_EQ(example["bg-dialog"]["offsets"], (Numbers{2, 2, 21, 42}));

    // 40 x 20 source trimmed to 32 x 16 from (3, 1): 20 - 1 - 16 = 3 rows cut below.
    // A turned 8 x 16 image (its block 16 x 8), 12 x 20 trimmed from (1, 2).
    const std::vector<SourceRectEntry> entries = {
        {"hero.walk.png", 0, 0, 31, 15, 32, 16, {3, 1}, {40, 20}},
        {"enemies/goblin:01.png", 33, 0, 40, 7, 8, 8, {0, 0}, {8, 8}},
        {"sword.png", 50, 0, 65, 7, 16, 8, {1, 2}, {12, 20}, true},
    };
    const std::string text = formatGdxAtlas({"atlas.png", 128, 64, "1.0", {}}, entries);
    GdxAtlas ours = parseGdxAtlas(text);
    // The upright size, offsets as upright, and rotate: true only there.
    EXPECT_EQ(ours["sword"]["size"], (Numbers{8, 16}));
    EXPECT_EQ(ours["sword"]["offset"], (Numbers{1, 2}));
    EXPECT_NE(text.find("sword\n  rotate: true\n"), std::string::npos);
    EXPECT_EQ(text.find("rotate: true"), text.rfind("rotate: true"));
    // The JSON frame keeps the upright size too.
    const auto turned =
        nlohmann::json::parse(formatJsonHash({"atlas.png", 128, 64, "1.0", {}}, entries));
    EXPECT_EQ(turned["frames"]["sword.png"]["frame"],
              nlohmann::json::parse(R"({"x":50,"y":0,"w":8,"h":16})"));
    EXPECT_EQ(turned["frames"]["sword.png"]["rotated"], true);
    EXPECT_EQ(ours["atlas.png"]["size"], (Numbers{128, 64}));
    // Written in the region keys every libGDX version reads.
    const std::map<std::string, Numbers> hero = {{"rotate", {}},     {"xy", {0, 0}},
                                                 {"size", {32, 16}}, {"orig", {40, 20}},
                                                 {"offset", {3, 3}}, {"index", {-1}}};
    EXPECT_EQ(ours["hero.walk"], hero);
    EXPECT_EQ(ours["enemies/goblin_01"]["xy"], (Numbers{33, 0}));
    EXPECT_EQ(ours.size(), 4u);
}

// Every key in one hash and one array; each frame differs only in its name.
TEST(JsonHashAndArray, KeysSurviveAnyBytes) {
    const std::vector<std::pair<std::string, std::string>> fileNamesAndKeys = {
        {"a\"b\\c.png", "a\"b\\c.png"},
        {"h\xC3\xA9ros/\xE6\x98\x9F.png", "h\xC3\xA9ros/\xE6\x98\x9F.png"},
        {"tab\there.png", "tab\there.png"},
        {"bad\xFF\xFE.png", "bad\xEF\xBF\xBD\xEF\xBF\xBD.png"},  // invalid bytes
        {"x\xC0\xAFy", "x\xEF\xBF\xBD\xEF\xBF\xBDy"},            // an overlong slash
        {"end\xE6\x98", "end\xEF\xBF\xBD\xEF\xBF\xBD"},          // cut short at the end
    };
    std::vector<SourceRectEntry> entries;
    for (const auto& [fileName, key] : fileNamesAndKeys)
        entries.push_back({fileName, 1, 2, 3, 5, 3, 4, {1, 0}, {5, 4}});
    const AtlasMeta meta{"atlas.png", 64, 32, "1.0", {}};
    const auto hash = nlohmann::json::parse(formatJsonHash(meta, entries));
    const auto array = nlohmann::json::parse(formatJsonArray(meta, entries));
    const auto frame = nlohmann::json::parse(R"({"frame": {"x":1,"y":2,"w":3,"h":4},
        "rotated": false, "trimmed": true, "spriteSourceSize": {"x":1,"y":0,"w":3,"h":4},
        "sourceSize": {"w":5,"h":4}})");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& key = fileNamesAndKeys[i].second;
        SCOPED_TRACE(key);
        EXPECT_EQ(hash["frames"].value(key, nlohmann::json()), frame);
        auto element = frame;
        element["filename"] = key;
        EXPECT_EQ(array["frames"][i], element);
    }
    EXPECT_EQ(hash["frames"].size(), entries.size());
}

// The meta line of both documents (the image's name escaped): the other
// pages' text files follow the scale, as given but for invalid bytes, and only when there are some,
// so a single atlas's text is unchanged.
TEST(JsonHashAndArray, MetaListsTheOtherPagesWhenThereAreSome) {
    struct Case {
        const char* name;
        std::vector<std::string> relatedPages;
        std::string tail;  // after "scale"
        bool premultiplied = false;
    };
    const std::vector<Case> cases = {
        {"one atlas", {}, "}"},
        {"first of three",
         {"atlas-1.json", "atlas-2.json"},
         R"(,"related_multi_packs":["atlas-1.json","atlas-2.json"]})"},
        {"a name with invalid bytes",
         {"p\xFF \"q\"-1.json"},
         ",\"related_multi_packs\":[\"p\xEF\xBF\xBD \\\"q\\\"-1.json\"]}"},
        {"premultiplied pages",
         {"a-2.json"},
         R"(,"related_multi_packs":["a-2.json"],"premultipliedAlpha":true})",
         true},
    };
    const std::vector<SourceRectEntry> entries = {{"a.png", 0, 0, 1, 1, 2, 2, {0, 0}, {2, 2}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AtlasMeta meta{"atlas \"1\".png", 64, 32, "1.0", c.relatedPages, 1, c.premultiplied};
        const std::string line =
            "\n\"meta\": {\"app\":\"tilvane\",\"version\":\"1.0\","
            "\"image\":\"atlas \\\"1\\\".png\",\"format\":\"RGBA8888\","
            "\"size\":{\"w\":64,\"h\":32},\"scale\":\"1\"" +
            c.tail + "\n}\n";
        for (const std::string& document :
             {formatJsonHash(meta, entries), formatJsonArray(meta, entries)}) {
            ASSERT_GE(document.size(), line.size());
            EXPECT_EQ(document.substr(document.size() - line.size()), line);
        }
    }
}

}  // namespace
}  // namespace tilvane
