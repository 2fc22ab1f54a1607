#include "job/aliases.h"
#include "job/file_scan.h"
#include "job/sprite_data.h"
#include "job/verify.h"
#include "tests/job/build_fixture.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

// Collisions are printed by tilvane-pack; its test covers the flat search.
TEST(BuildExtras, RecursiveSearchWalksThreeLevelsButNoLinkedFolder) {
    BuildFixture f;
    fs::create_directories(f.input.path() / "l1/l2/l3");
    for (const char* name : {"top.png", "l1_b.png", "l1/b.png", "l1/l2/c.png", "l1/l2/l3/d.png"})
        writeSprite(f.input.file(name), 2, 2);
    // A loop back to the top: never followed, so never walked forever.
    fs::create_directory_symlink("..", f.input.path() / "l1/loop");
    f.settings.outputWidth = f.settings.outputHeight = 64;
    f.jobSpec.extras.recursive = true;
    ASSERT_EQ(f.runBuild(), BuildOutcome::saved);
    // Named by the name rules, l1/b.png collides with l1_b.png.
    EXPECT_EQ(f.run.placedNames,
              (std::vector<std::string>{"l1_b.png", "l1_l2_c.png", "l1_l2_l3_d.png", "l1_b.png",
                                        "top.png"}));
    EXPECT_EQ(f.run.notes.skipped, std::vector<std::string>{"l1/loop/"});
    ASSERT_EQ(f.run.notes.collisions.size(), 1u);
    EXPECT_EQ(f.run.notes.collisions[0].second, "l1_b.png");
}

// The rings' pixels, and every frame's, are checked by tilvane-pack's property
// test, which writes no mask: the mask covers the sprites and not their rings.
TEST(BuildExtras, ExtrudeLeavesTheRingsOutOfTheMask) {
    BuildFixture f;
    writeSprite(f.input.file("a.png"), 3, 3);
    writeSprite(f.input.file("b.png"), 4, 3);
    // Footprints 7 x 7 and 8 x 7 fill the atlas: a drawn at (2, 2), b at (9, 2).
    f.settings.outputWidth = 15;
    f.settings.outputHeight = 7;
    f.settings.borderSize = f.settings.spacing = 0;
    f.jobSpec.extras.extrude = 2;
    ASSERT_EQ(f.runBuild(), BuildOutcome::saved);
    EXPECT_EQ(f.run.placedRects, (std::vector<Rect>{{2, 2, 4, 4}, {9, 2, 12, 4}}));
    const ImagePtr mask = CreateBitmapFromFile(f.output.file("atlas_mask.png"));
    ASSERT_TRUE(mask);
    for (int x = 0; x < 15; ++x) {
        const bool sprite = (x >= 2 && x <= 4) || (x >= 9 && x <= 12);
        EXPECT_EQ(getPixel(*mask, x, 3) >> 24, sprite ? 255u : 0u) << x;
    }
}

// The property test checks that aliases share one box (alias-shared), only
// of equal pixels, in other margins too, each with its own offsets, and never
// without --alias (no-overlap); here, that they are counted.
TEST(BuildExtras, AliasPlacesIdenticalPixelsOnceAndCountsThem) {
    BuildFixture f;
    writeSprite(f.input.file("a.png"), 4, 4);
    writeSprite(f.input.file("b.png"), 4, 4);
    writeSprite(f.input.file("c.png"), 4, 4, Rect{0, 0, 3, 2});
    f.jobSpec.extras.alias = true;
    ASSERT_EQ(f.runBuild(), BuildOutcome::saved);
    EXPECT_EQ(f.run.notes.aliased, 1u);
}

TEST(BuildExtras, AliasEqualityDecidesNotTheHash) {
    BuildRun run;
    run.outputImage = makeSprite(8, 8, Rect{2, 2, 4, 4});
    run.placedRects = {{2, 2, 4, 4}};
    run.notes.pixelHashes.emplace(42, 0);
    const ImagePtr same = makeSprite(8, 8, Rect{2, 2, 4, 4});
    ImagePtr other = makeSprite(8, 8, Rect{2, 2, 4, 4});
    setPixel(*other, 3, 3, 0);
    // Under one (forced) hash, only the equal pixels are an alias.
    EXPECT_EQ(findIdenticalPlaced(run, *same, {2, 2, 4, 4}, 42), std::optional<std::size_t>(0));
    EXPECT_EQ(findIdenticalPlaced(run, *other, {2, 2, 4, 4}, 42), std::nullopt);
    EXPECT_EQ(findIdenticalPlaced(run, *same, {2, 2, 4, 4}, 7), std::nullopt);
}

// The sprite data file is hostile input: every value checked, the key named.
TEST(SpriteData, ParsesOnlyWhatItMeans) {
    // Name, text, a part of the reason (null: accepted).
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::tuple<const char*, std::string, const char*> cases[] = {
        {"both", R"({"a_1.png": {"pivot": [0.5, -1], "borders": [1, 2, 3, 4]}, "b.png": {}})",
         nullptr},
        {"not json", "{\"a.png\": ", "not valid JSON"},
        {"a list", "[]", "a JSON object"},
        {"value not an object", R"({"a.png": 3})", "\"a.png\": the value must be an object"},
        {"unknown field", R"({"a.png": {"pviot": [0, 0]}})", "\"a.png\": unknown field \"pviot\""},
        {"pivot of three", R"({"a.png": {"pivot": [0, 0, 0]}})", "\"a.png\": pivot must be"},
        {"pivot text", R"({"a.png": {"pivot": ["0", 0]}})", "pivot must be"},
        {"pivot too far", R"({"a.png": {"pivot": [1e300, 0]}})", "within -1000..1000"},
        {"border negative", R"({"a.png": {"borders": [-1, 0, 0, 0]}})", "\"a.png\": borders must"},
        {"border fraction", R"({"a.png": {"borders": [1.5, 0, 0, 0]}})", "borders must"},
        {"border too wide", R"({"a.png": {"borders": [0, 0, 32769, 0]}})", "0 to 32768"},
        {"border huge", R"({"a.png": {"borders": [0, 0, 18446744073709551615, 0]}})", "0 to 32768"},
        {"borders of two", R"({"a.png": {"borders": [1, 2]}})", "four whole numbers"},
        {"nested deep", deep, "nests deeper"},
        {"brackets in a key", R"({"[[[[.png": {"pivot": [0, 1]}})", nullptr},
        {"control bytes in a key", "{\"a\\u001b.png\": 1}", "\"a\\u001b.png\": the value"},
    };
    for (const auto& [name, text, refusal] : cases) {
        SCOPED_TRACE(name);
        SpriteDataEntries entries;
        const std::optional<std::string> why = parseSpriteData(text, entries);
        if (!refusal) {
            EXPECT_FALSE(why) << *why;
            continue;
        }
        ASSERT_TRUE(why);
        EXPECT_NE(why->find(refusal), std::string::npos) << *why;
    }
    SpriteDataEntries entries;
    ASSERT_FALSE(parseSpriteData(std::get<1>(cases[0]), entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].second.pivot, (Pivot{0.5, -1}));
    EXPECT_EQ(entries[0].second.borders, (Borders{1, 2, 3, 4}));
    EXPECT_EQ(entries[1].second, SpriteValues{});
}

// What a build does with the engine options: sprite data keys checked against
// the listed images, animations named like an image noted, and one
// phaser-multi file for every page (what it holds is the property test's
// engine-data).
TEST(BuildExtras, SpriteDataAnimationsAndOneMultiAtlasFile) {
    struct Case {
        const char* name;
        std::string spriteData;
        DataFormat format;
        std::int32_t width;  // 4 x 4 images, side by side
        BuildOutcome outcome;
        std::string files;         // the output folder afterwards
        std::string notes;         // unknown keys, then clashes
        const char* refusal = "";  // a part of the message of a refused build
        bool textOverData = false;
    };
    const std::vector<Case> cases = {
        {"borders wider than the image", R"({"walk_1.png": {"borders": [3, 0, 2, 0]}})",
         DataFormat::jsonHash, 12, BuildOutcome::refused, "", "",
         "\"walk_1.png\": the borders do not fit"},
        {"the text file over the sprite data", "{}", DataFormat::jsonHash, 12,
         BuildOutcome::refused, "", "", "must not be an output", true},
        {"an unknown key and a clash", R"({"walk_1.png": {"borders": [2, 0, 2, 0]}, "x.png": {}})",
         DataFormat::gdx, 12, BuildOutcome::saved, "atlas-1.png atlas-1.txt ",
         "x.png walk:walk.png "},
        {"a format without animations", "{}", DataFormat::cocos, 12, BuildOutcome::saved,
         "atlas-1.png atlas-1.txt ", ""},
        // Animations are found on each page: walk_1 and walk_2 are on two.
        {"pages of a json hash", "{}", DataFormat::jsonHash, 8, BuildOutcome::saved,
         "atlas-1.png atlas-1.txt atlas-2.png atlas-2.txt ", ""},
        {"phaser-multi", "{}", DataFormat::phaserMulti, 8, BuildOutcome::saved,
         "atlas-1.png atlas-2.png atlas.txt ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture f;
        for (const char* name : {"walk_1.png", "walk_2.png", "walk.png"})
            writeSprite(f.input.file(name), 4, 4);
        f.settings.outputWidth = static_cast<std::uint32_t>(c.width);
        f.settings.outputHeight = 4;
        f.settings.borderSize = f.settings.spacing = 0;
        f.settings.createMask = 0;
        f.jobSpec.sizing.pages = true;
        f.jobSpec.extras.format = c.format;
        f.jobSpec.extras.animations = true;
        f.jobSpec.extras.spriteDataFile = f.output.file("data.json");
        // Page 1 of data.json is data-1.json.
        if (c.textOverData) f.settings.outputTextFile = f.output.file("data.json");
        if (c.textOverData) f.jobSpec.extras.spriteDataFile = f.output.file("data-1.json");
        writeFile(f.jobSpec.extras.spriteDataFile, c.spriteData);
        ASSERT_EQ(f.runBuild(), c.outcome);
        std::filesystem::remove(f.jobSpec.extras.spriteDataFile);
        EXPECT_EQ(f.outputFiles(), c.files);
        std::string notes;
        for (const std::string& key : f.run.notes.unknownSpriteKeys) notes += key + " ";
        for (const NameCollision& clash : f.run.notes.animationClashes)
            notes += clash.name + ":" + clash.second + " ";
        EXPECT_EQ(notes, c.notes);
        if (c.outcome == BuildOutcome::refused) {
            ASSERT_EQ(f.window.messages.size(), 1u);
            EXPECT_NE(f.window.messages[0].find(c.refusal), std::string::npos)
                << f.window.messages[0];
        }
    }
}

// A file's trim carried onto its scaled picture takes every pixel it reaches.
TEST(BuildExtras, ScaledTrimRoundsOutward) {
    const std::tuple<const char*, Rect, Size, Size, Rect> rows[] = {
        {"one pixel to a third", {5, 5, 5, 5}, {10, 10}, {3, 3}, {1, 1, 1, 1}},
        {"all of it", {0, 0, 9, 9}, {10, 10}, {3, 3}, {0, 0, 2, 2}},
        {"a pixel on an edge between two", {3, 2, 3, 2}, {4, 4}, {2, 2}, {1, 1, 1, 1}},
        {"enlarged", {3, 0, 4, 0}, {10, 1}, {20, 2}, {6, 0, 9, 1}},
        {"to one pixel", {7, 0, 9, 3}, {10, 4}, {1, 1}, {0, 0, 0, 0}},
    };
    for (const auto& [name, trim, from, to, expected] : rows) {
        EXPECT_EQ(scaledOutward(trim, from, to), expected) << name;
    }
}

// A scaled picture whose pixels all fade below the crop alpha keeps a frame,
// where its file's trim falls; others are trimmed as resampled.
TEST(BuildExtras, ScaledSpriteThatFadesKeepsItsFileTrim) {
    BuildFixture f;
    ImagePtr faint = createPixelImage(10, 10);
    setPixel(*faint, 5, 5, packPixel(255, 255, 255, 1));
    ASSERT_EQ(SaveBitmapToFile(faint.get(), f.input.file("faint.png")), 0);
    writeSprite(f.input.file("solid.png"), 10, 10, Rect{0, 0, 9, 9});
    f.settings.cropMode = kCropEach;
    f.jobSpec.extras.scale = 0.3;
    ASSERT_EQ(f.runBuild(), BuildOutcome::saved);
    ASSERT_EQ(f.run.placedNames, (std::vector<std::string>{"faint.png", "solid.png"}));
    EXPECT_EQ(f.run.originalSizes, (std::vector<Size>{{3, 3}, {3, 3}}));
    EXPECT_EQ(f.run.trimOffsets, (std::vector<Point>{{1, 1}, {0, 0}}));
    EXPECT_EQ(f.run.placedRects[0].width(), 1);
    EXPECT_EQ(f.run.placedRects[1].width(), 3);
}

// --verify reads the written atlas back: a clean build passes; one pixel
// changed in the file afterwards, inside a sprite or in its ring, names the
// sprite and the pixel, whether the source is compared by its digest or
// decoded again; an atlas that is gone cannot be read back.
TEST(BuildExtras, VerifyNamesTheSpriteAndItsFirstDifferingPixel) {
    BuildFixture f;
    writeSprite(f.input.file("a.png"), 6, 5, Rect{1, 1, 4, 3});
    writeSprite(f.input.file("b.png"), 3, 3);
    f.settings.outputWidth = f.settings.outputHeight = 32;
    f.settings.cropMode = kCropEach;
    f.jobSpec.extras.extrude = 1;
    f.jobSpec.extras.verify = true;
    ASSERT_EQ(f.runBuild(), BuildOutcome::saved);
    ASSERT_TRUE(f.run.notes.verified);
    EXPECT_EQ(f.run.notes.verifyFailure, "");
    // In name order; a shows its source's (1, 1) to (4, 3).
    ASSERT_EQ(f.run.placedNames, (std::vector<std::string>{"a.png", "b.png"}));
    const Rect a = f.run.placedRects[0], b = f.run.placedRects[1];
    const auto at = [](std::int32_t x, std::int32_t y) {
        return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
    };
    const std::string changed = " in the atlas, is #01020304 where the source has #0";
    // Name, the pixel changed in the written atlas (x -1: the file removed),
    // whether the source is compared by its digest, the failure.
    using Row = std::tuple<const char*, std::int32_t, std::int32_t, bool, std::string>;
    const std::vector<Row> rows = {
        {"SpritePixelByDigest", a.left + 2, a.top + 1, true,
         "a.png in atlas.png: pixel (3, 2) of its source, at " + at(a.left + 2, a.top + 1) +
             changed + "302c8ff"},
        {"SpritePixelDecodedAgain", b.right, b.bottom, false,
         "b.png in atlas.png: pixel (2, 2) of its source, at " + at(b.right, b.bottom) + changed +
             "202c8ff"},
        {"RingPixel", b.left - 1, b.top + 1, true,
         "b.png in atlas.png: its extrusion ring at " + at(b.left - 1, b.top + 1) +
             " in the atlas is #01020304 where its edge pixel " + at(b.left, b.top + 1) +
             " is #0001c8ff"},
        {"AtlasGone", -1, 0, true, "atlas.png cannot be read back"},
    };
    const std::string atlasPath = f.output.file("atlas.png");
    const ImagePtr written = CreateBitmapFromFile(atlasPath);
    ASSERT_TRUE(written);
    for (const auto& [name, x, y, digests, want] : rows) {
        SCOPED_TRACE(name);
        std::vector<BuildRun::DrawnPage> pages = f.run.drawnPages;
        for (BuildRun::DrawnPage& page : pages)
            if (!digests) page.sourceDigests.assign(page.names.size(), 0);
        ImagePtr atlas = CreateBitmapFromFile(atlasPath);
        ASSERT_TRUE(atlas);
        setPixel(*atlas, x, y, packPixel(1, 2, 3, 4));
        ASSERT_EQ(SaveBitmapToFile(atlas.get(), atlasPath), 0);
        if (x < 0) std::filesystem::remove(atlasPath);
        EXPECT_EQ(verifyWrittenPages(f.settings.inputFolder, 1, pages).value_or(""), want);
        ASSERT_EQ(SaveBitmapToFile(written.get(), atlasPath), 0);
    }
}

}  // namespace
}  // namespace tilvane::testing
