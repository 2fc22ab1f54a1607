#include "textout/engine_data.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
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
    // (The JSON frame's upright size is the property test's, with --rotate.)
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
    // Name, the other pages, the line's tail after "scale", premultiplied.
    const std::tuple<const char*, std::vector<std::string>, std::string, bool> cases[] = {
        {"one atlas", {}, "}", false},
        {"a name with invalid bytes",
         {"p\xFF \"q\"-1.json"},
         ",\"related_multi_packs\":[\"p\xEF\xBF\xBD \\\"q\\\"-1.json\"]}",
         false},
        {"premultiplied pages",
         {"a-2.json"},
         R"(,"related_multi_packs":["a-2.json"],"premultipliedAlpha":true})",
         true},
    };
    const std::vector<SourceRectEntry> entries = {{"a.png", 0, 0, 1, 1, 2, 2, {0, 0}, {2, 2}}};
    for (const auto& [name, relatedPages, tail, premultiplied] : cases) {
        SCOPED_TRACE(name);
        const AtlasMeta meta{"atlas \"1\".png", 64, 32, "1.0", relatedPages, 1, premultiplied};
        const std::string line =
            "\n\"meta\": {\"app\":\"tilvane\",\"version\":\"1.0\","
            "\"image\":\"atlas \\\"1\\\".png\",\"format\":\"RGBA8888\","
            "\"size\":{\"w\":64,\"h\":32},\"scale\":\"1\"" +
            tail + "\n}\n";
        for (const std::string& document :
             {formatJsonHash(meta, entries), formatJsonArray(meta, entries)}) {
            ASSERT_GE(document.size(), line.size());
            EXPECT_EQ(document.substr(document.size() - line.size()), line);
        }
    }
}

// Which names end in a number, and what animation they join.
TEST(Animations, NumberedNamesAndTheirGroups) {
    // The file name, its base (null: not numbered) and its number.
    const std::tuple<const char*, const char*, std::uint32_t> cases[] = {
        {"walk_01.png", "walk", 1},
        {"enemies/goblin/walk-2.png", "enemies/goblin/walk", 2},
        {"walk 003.gif", "walk", 3},
        {"hero.walk_10.png", "hero.walk", 10},
        {"a__7.png", "a_", 7},
        {"walk_999999999.png", "walk", 999999999},
        {"walk_1234567890.png", nullptr, 0},  // beyond nine digits
        {"walk01.png", nullptr, 0},           // no separator
        {"_01.png", nullptr, 0},              // nothing before it
        {"dir/_01.png", nullptr, 0},
        {"walk_01.png.bak", nullptr, 0},
        {"walk_.png", nullptr, 0},
        {".walk_01", ".walk", 1},  // a hidden file's name, no extension
    };
    for (const auto& [fileName, base, number] : cases) {
        const std::optional<NumberedName> numbered = numberedName(fileName);
        ASSERT_EQ(numbered.has_value(), base != nullptr) << fileName;
        if (!numbered) continue;
        EXPECT_EQ(numbered->base, base) << fileName;
        EXPECT_EQ(numbered->number, number) << fileName;
    }

    // Numeric order (2 before 10), file names breaking ties; one numbered
    // image alone is no animation; animations in name order.
    std::vector<SourceRectEntry> entries;
    for (const char* name : {"run_10.png", "walk_1.png", "run_2.png", "idle_1.png", "run_02.png",
                             "walk-1.png", "run.png"}) {
        entries.push_back({name, 0, 0, 0, 0, 1, 1, {0, 0}, {1, 1}});
    }
    const std::vector<Animation> animations = findAnimations(entries);
    ASSERT_EQ(animations.size(), 2u);
    EXPECT_EQ(animations[0].name, "run");
    EXPECT_EQ(animations[0].frames, (std::vector<std::size_t>{4, 2, 0}));
    EXPECT_EQ(animations[1].name, "walk");
    EXPECT_EQ(animations[1].frames, (std::vector<std::size_t>{5, 1}));
}

// Borders within the frame, for an untrimmed frame and one whose trimmed
// margins eat into its borders, as libGDX's split and pad carry them. (The
// JSON hash's pivot, anchor, borders, scale9Borders and animations are the
// property test's engine-data.)
TEST(EngineExtras, PivotsAndBordersAsEachReaderReadsThem) {
    const SourceRectEntry whole{"a_1.png", 2, 3, 21, 12, 20, 10, {0, 0}, {20, 10}};
    // 30 x 20 source, kept 20 x 10 from (6, 2): 4 columns cut right, 8 rows below.
    const SourceRectEntry trimmed{"a_1.png", 2, 3, 21, 12, 20, 10, {6, 2}, {30, 20}};
    // Name, the frame, its borders as given (source pixels), then within the frame.
    const std::tuple<const char*, SourceRectEntry, Borders, Borders> cases[] = {
        {"untrimmed", whole, {4, 3, 5, 2}, {4, 3, 5, 2}},
        {"trimmed", trimmed, {8, 1, 5, 9}, {2, 0, 1, 1}}};
    // Resampled by 0.5: a 60 x 40 source kept whole at 30 x 20, borders rounded down.
    const SourceRectEntry half{"a_1.png", 0, 0, 29, 19, 30, 20, {0, 0}, {30, 20}};
    EXPECT_EQ(bordersInFrame(half, {9, 4, 5, 1}, 0.5), (Borders{4, 2, 2, 0}));
    for (const auto& [name, entry, borders, in] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(bordersInFrame(entry, borders), in);
        EngineExtras extras;
        extras.frames = {FrameExtras{Pivot{0.5, 0.25}, borders}};
        GdxAtlas gdx =
            parseGdxAtlas(formatGdxAtlas({"atlas.png", 64, 32, "1.0", {}}, {&entry, 1}, extras));
        EXPECT_EQ(gdx["a_1"]["split"],
                  (Numbers{static_cast<int>(in.left), static_cast<int>(in.right),
                           static_cast<int>(in.top), static_cast<int>(in.bottom)}));
        EXPECT_EQ(gdx["a_1"]["pad"], gdx["a_1"]["split"]);
    }
    // Frames of an animation share its libGDX name, numbered by their own.
    const std::vector<SourceRectEntry> entries = {{"run_07.png", 0, 0, 0, 0, 1, 1, {0, 0}, {1, 1}},
                                                  {"run_3.png", 2, 0, 2, 0, 1, 1, {0, 0}, {1, 1}}};
    EngineExtras extras;
    extras.animations = findAnimations(entries);
    const std::string gdx = formatGdxAtlas({"atlas.png", 8, 8, "1.0", {}}, entries, extras);
    EXPECT_NE(gdx.find("run\n  rotate: false\n  xy: 0, 0\n  size: 1, 1\n  orig: 1, 1\n  "
                       "offset: 0, 0\n  index: 7\n"),
              std::string::npos);
    EXPECT_NE(gdx.find("xy: 2, 0\n  size: 1, 1\n  orig: 1, 1\n  offset: 0, 0\n  index: 3\n"),
              std::string::npos);
}

// The XML formats carry any file name: a parser gives back the name as
// xmlFrameName makes it, and each format's numbers.
TEST(XmlFormats, StarlingAndCocosCarryAnyName) {
    const std::vector<std::pair<std::string, std::string>> namesAndReadBack = {
        {"a&b<c>\"d'.png", "a&b<c>\"d'.png"},
        {"tab\there\nline\rcr.png", "tab\there\nline\rcr.png"},
        {"bell\x07"
         "esc\x1b.png",
         "bell\xEF\xBF\xBD"
         "esc\xEF\xBF\xBD.png"},
        {"bad\xFF.png", "bad\xEF\xBF\xBD.png"},
        {"nonchar\xEF\xBF\xBE.png", "nonchar\xEF\xBF\xBD.png"},
        {"h\xC3\xA9ros/\xE6\x98\x9F ]]>.png", "h\xC3\xA9ros/\xE6\x98\x9F ]]>.png"},
    };
    // 12 x 10 source kept 7 x 5 from (2, 3).
    std::vector<SourceRectEntry> entries;
    for (const auto& [name, readBack] : namesAndReadBack) {
        entries.push_back({name, 1, 1, 7, 5, 7, 5, {2, 3}, {12, 10}});
    }
    EngineExtras extras;
    extras.frames.assign(entries.size(), FrameExtras{Pivot{0.5, 1}, std::nullopt});
    const AtlasMeta meta{"at&las.png", 64, 32, "1.0", {}};
    const auto parse = [](const std::string& text) {
        return xmlReadMemory(text.data(), static_cast<int>(text.size()), "atlas.xml", nullptr,
                             XML_PARSE_NONET);
    };
    const auto take = [](xmlChar* value) {
        std::string text = value ? reinterpret_cast<const char*>(value) : "(none)";
        xmlFree(value);
        return text;
    };
    const auto attribute = [&take](xmlNode* node, const char* name) {
        return take(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
    };
    const auto textOf = [&take](xmlNode* node) { return take(xmlNodeGetContent(node)); };
    const auto elements = [](xmlNode* parent) {
        std::vector<xmlNode*> out;
        for (xmlNode* n = parent->children; n; n = n->next) {
            if (n->type == XML_ELEMENT_NODE) out.push_back(n);
        }
        return out;
    };

    xmlDoc* starling = parse(formatStarlingXml(meta, entries, extras));
    ASSERT_NE(starling, nullptr);
    xmlNode* atlas = xmlDocGetRootElement(starling);
    EXPECT_EQ(attribute(atlas, "imagePath"), "at&las.png");
    const std::vector<xmlNode*> subTextures = elements(atlas);
    ASSERT_EQ(subTextures.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(attribute(subTextures[i], "name"), namesAndReadBack[i].second);
        std::string numbers;
        for (const char* key : {"x", "y", "width", "height", "frameX", "frameY", "frameWidth",
                                "frameHeight", "pivotX", "pivotY", "rotated"}) {
            numbers += attribute(subTextures[i], key) + " ";
        }
        EXPECT_EQ(numbers, "1 1 7 5 -2 -3 12 10 6 10 (none) ");
    }
    xmlFreeDoc(starling);

    xmlDoc* cocos = parse(formatCocosPlist(meta, entries, extras));
    ASSERT_NE(cocos, nullptr);
    const std::vector<xmlNode*> top = elements(elements(xmlDocGetRootElement(cocos))[0]);
    ASSERT_EQ(top.size(), 4u);  // frames, its dict, metadata, its dict
    const std::vector<xmlNode*> frames = elements(top[1]);
    ASSERT_EQ(frames.size(), 2 * entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(textOf(frames[2 * i]), namesAndReadBack[i].second);
        std::string values;
        for (xmlNode* value : elements(frames[2 * i + 1])) {
            values += (value->name[0] == 'k' ? "" : "=") + textOf(value) + " ";
        }
        // Kept pixels' centre (5.5, 5.5) against the source's (6, 5), y up.
        EXPECT_EQ(values,
                  "aliases = anchor ={0.5,0} spriteOffset ={-0.5,-0.5} spriteSize ={7,5} "
                  "spriteSourceSize ={12,10} textureRect ={{1,1},{7,5}} textureRotated = ");
    }
    const std::vector<xmlNode*> metadata = elements(top[3]);
    ASSERT_EQ(metadata.size(), 12u);
    EXPECT_EQ(textOf(metadata[1]), "3");
    EXPECT_EQ(textOf(metadata[7]), "at&las.png");
    EXPECT_EQ(textOf(metadata[9]), "{64,32}");
    xmlFreeDoc(cocos);
}

}  // namespace
}  // namespace tilvane
