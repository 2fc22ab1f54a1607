#include "textout/engine_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace tilvane {
namespace {

// A libGDX atlas as its documentation describes the format: a page is a name
// line (after a blank line, or first in the file) and "key: values" lines; a
// region is a name line and its own "key: values" lines. Both the current keys
// (bounds, offsets) and the earlier ones (xy, size, orig, offset) are read.
struct GdxRegion {
    std::string name;
    std::vector<int> bounds;   // x, y, width, height
    std::vector<int> offsets;  // left, bottom, original width, original height
    int index = -1;
};
struct GdxPage {
    std::string name;
    std::vector<int> size;
    std::vector<GdxRegion> regions;
};

std::vector<int> numbersOf(const std::string& values) {
    std::vector<int> out;
    std::stringstream in(values);
    for (std::string item; std::getline(in, item, ',');) out.push_back(std::stoi(item));
    return out;
}

std::vector<GdxPage> parseGdxAtlas(const std::string& text) {
    std::vector<GdxPage> pages;
    std::stringstream in(text);
    bool pageNext = true;
    for (std::string line; std::getline(in, line);) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) {
            pageNext = true;
            continue;
        }
        line = line.substr(start);
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            if (pageNext)
                pages.push_back({line, {}, {}});
            else if (!pages.empty())
                pages.back().regions.push_back({line, {}, {}, -1});
            pageNext = false;
            continue;
        }
        if (pages.empty()) continue;
        const std::string key = line.substr(0, colon);
        const std::string values = line.substr(colon + 1);
        GdxPage& page = pages.back();
        if (page.regions.empty()) {
            if (key == "size") page.size = numbersOf(values);
            continue;
        }
        GdxRegion& r = page.regions.back();
        if (values.find_first_of("0123456789") == std::string::npos) continue;  // rotate, ...
        std::vector<int> v = numbersOf(values);
        if (key == "bounds") r.bounds = v;
        if (key == "offsets") r.offsets = v;
        if (key == "index") r.index = v.at(0);
        if (key == "xy") r.bounds = {v.at(0), v.at(1), 0, 0};
        if (key == "size") r.bounds.resize(2), r.bounds.insert(r.bounds.end(), v.begin(), v.end());
        if (key == "orig")
            r.offsets.resize(2), r.offsets.insert(r.offsets.end(), v.begin(), v.end());
        if (key == "offset") r.offsets.resize(4), r.offsets[0] = v.at(0), r.offsets[1] = v.at(1);
    }
    return pages;
}

SourceRectEntry entry(std::string name, int x, int y, int w, int h, Point offset, Size original) {
    SourceRectEntry e;
    e.name = std::move(name);
    e.left = x;
    e.top = y;
    e.right = x + w - 1;
    e.bottom = y + h - 1;
    e.width = w;
    e.height = h;
    e.drawOffset = offset;
    e.originalSize = original;
    return e;
}

TEST(GdxAtlas, ParserReadsTheDocumentationsExample) {
    std::ifstream file(std::string(TILVANE_SOURCE_DIR) +
                       "/tests/textout/golden/gdx_documentation_example.atlas");
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    const std::vector<GdxPage> pages = parseGdxAtlas(text);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].name, "page1.png");
    EXPECT_EQ(pages[0].size, (std::vector<int>{640, 480}));
    ASSERT_EQ(pages[0].regions.size(), 2u);
    EXPECT_EQ(pages[0].regions[0].bounds, (std::vector<int>{372, 100, 26, 108}));
    EXPECT_EQ(pages[0].regions[1].index, 0);
    ASSERT_EQ(pages[1].regions.size(), 1u);
    EXPECT_EQ(pages[1].regions[0].name, "bg-dialog");
    EXPECT_EQ(pages[1].regions[0].offsets, (std::vector<int>{2, 2, 21, 42}));
}

TEST(GdxAtlas, RegionsCarryBoundsAndOffsetsFromTheBottom) {
    // 40 x 20 source trimmed to 32 x 16 from (3, 2): 20 - 2 - 16 = 2 rows cut below.
    const std::vector<SourceRectEntry> entries = {
        entry("hero.walk.png", 0, 0, 32, 16, {3, 2}, {40, 20}),
        entry("enemies/goblin:01.png", 33, 0, 8, 8, {0, 0}, {8, 8}),
    };
    const AtlasMeta meta{"atlas.png", 128, 64, "1.0", {}};
    const std::vector<GdxPage> pages = parseGdxAtlas(formatGdxAtlas(meta, entries));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].name, "atlas.png");
    EXPECT_EQ(pages[0].size, (std::vector<int>{128, 64}));
    ASSERT_EQ(pages[0].regions.size(), 2u);
    EXPECT_EQ(pages[0].regions[0].name, "hero.walk");
    EXPECT_EQ(pages[0].regions[0].bounds, (std::vector<int>{0, 0, 32, 16}));
    EXPECT_EQ(pages[0].regions[0].offsets, (std::vector<int>{3, 2, 40, 20}));
    EXPECT_EQ(pages[0].regions[1].name, "enemies/goblin_01");
    EXPECT_EQ(pages[0].regions[1].offsets, (std::vector<int>{0, 0, 8, 8}));
}

TEST(JsonHashAndArray, KeysSurviveAnyBytes) {
    struct Row {
        const char* what;
        std::string fileName;
        std::string key;
    };
    const std::vector<Row> rows = {
        {"space", "my sprite (2).png", "my sprite (2).png"},
        {"quote and backslash", "a\"b\\c.png", "a\"b\\c.png"},
        {"folder and non-ASCII", "h\xC3\xA9ros/\xE6\x98\x9F.png", "h\xC3\xA9ros/\xE6\x98\x9F.png"},
        {"control character", "tab\there.png", "tab\there.png"},
        {"invalid bytes", "bad\xFF\xFE.png", "bad\xEF\xBF\xBD\xEF\xBF\xBD.png"},
        {"overlong slash", "x\xC0\xAFy", "x\xEF\xBF\xBD\xEF\xBF\xBDy"},
        {"truncated sequence at the end", "end\xE6\x98", "end\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<SourceRectEntry> entries = {
            entry(row.fileName, 1, 2, 3, 4, {1, 0}, {5, 4})};
        const AtlasMeta meta{"atlas \"1\".png", 64, 32, "1.0", {}};
        const auto hash = nlohmann::json::parse(formatJsonHash(meta, entries));
        const auto array = nlohmann::json::parse(formatJsonArray(meta, entries));
        ASSERT_TRUE(hash["frames"].contains(row.key));
        const auto& frame = hash["frames"][row.key];
        EXPECT_EQ(frame["frame"], nlohmann::json::parse(R"({"x":1,"y":2,"w":3,"h":4})"));
        EXPECT_EQ(frame["trimmed"], true);
        EXPECT_EQ(frame["spriteSourceSize"], nlohmann::json::parse(R"({"x":1,"y":0,"w":3,"h":4})"));
        EXPECT_EQ(frame["sourceSize"], nlohmann::json::parse(R"({"w":5,"h":4})"));
        EXPECT_EQ(array["frames"][0]["filename"], row.key);
        EXPECT_EQ(array["frames"][0]["frame"], frame["frame"]);
        for (const auto* document : {&hash, &array}) {
            EXPECT_EQ((*document)["meta"]["image"], "atlas \"1\".png");
            EXPECT_EQ((*document)["meta"]["size"], nlohmann::json::parse(R"({"w":64,"h":32})"));
        }
    }
}

}  // namespace
}  // namespace tilvane
