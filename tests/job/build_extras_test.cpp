#include "job/aliases.h"
#include "tests/job/build_fixture.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

// Collisions are printed by tilvane-pack; its test covers the flat search.
TEST(BuildExtras, RecursiveSearchWalksThreeLevelsButNoLinkedFolder) {
    BuildFixture f;
    fs::create_directories(f.input.path() / "l1/l2/l3");
    for (const char* name : {"top.png", "l1_b.png", "l1/b.png", "l1/l2/c.png", "l1/l2/l3/d.png"}) {
        writeSprite(f.input.file(name), 2, 2);
    }
    // A loop back to the top: never followed, so never walked forever.
    fs::create_directory_symlink("..", f.input.path() / "l1/loop");
    f.settings.outputWidth = f.settings.outputHeight = 64;
    f.spec.extras.recursive = true;
    ASSERT_EQ(f.runBuild(), BuildOutcome::saved);
    // Named by the name rules, l1/b.png collides with l1_b.png.
    EXPECT_EQ(f.run.placedNames,
              (std::vector<std::string>{"l1_b.png", "l1_l2_c.png", "l1_l2_l3_d.png", "l1_b.png",
                                        "top.png"}));
    EXPECT_EQ(f.run.notes.skipped, std::vector<std::string>{"l1/loop/"});
    ASSERT_EQ(f.run.notes.collisions.size(), 1u);
    EXPECT_EQ(f.run.notes.collisions[0].second, "l1_b.png");
}

TEST(BuildExtras, ExtrudeRepeatsEdgesAtTheBorderAndBetweenSprites) {
    BuildFixture f;
    writeSprite(f.input.file("a.png"), 3, 3);
    writeSprite(f.input.file("b.png"), 4, 3);
    // Footprints 7 x 7 and 8 x 7 fill the atlas: a drawn at (2, 2), b at (9, 2).
    f.settings.outputWidth = 15;
    f.settings.outputHeight = 7;
    f.settings.borderSize = f.settings.spacing = 0;
    f.settings.createMask = 1;
    f.spec.extras.extrude = 2;
    ASSERT_EQ(f.runBuild(), BuildOutcome::saved);
    EXPECT_EQ(f.run.placedRects, (std::vector<Rect>{{2, 2, 4, 4}, {9, 2, 12, 4}}));

    const ImagePtr atlas = CreateBitmapFromFile(f.settings.outputImageFile);
    const ImagePtr mask = CreateBitmapFromFile(f.output.file("atlas_mask.png"));
    ASSERT_TRUE(atlas && mask);
    struct Probe {
        const char* what;
        int x, y;
        int sx, sy;  // the sprite pixel expected there
        bool inMask;
    };
    const std::vector<Probe> probes = {
        {"a's corner at the atlas corner", 0, 0, 0, 0, false},
        {"a itself", 3, 3, 1, 1, true},
        {"a's right edge, last ring column", 6, 3, 2, 1, false},
        {"b's left edge, first ring column", 7, 3, 0, 1, false},
        {"b's bottom-right corner at the atlas corner", 14, 6, 3, 2, false},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.what);
        EXPECT_EQ(getPixel(*atlas, p.x, p.y), spritePixel(p.sx, p.sy));
        EXPECT_EQ(getPixel(*mask, p.x, p.y) >> 24, p.inMask ? 255u : 0u);
    }
}

// A w x h transparent image with a 2 x 2 block at (x, y) whose colours depend
// only on the position inside the block; `changed` alters one of them.
void writeBlock(const std::string& path, int w, int h, int x, int y, bool changed) {
    ImagePtr image = createPixelImage(w, h);
    ASSERT_TRUE(image);
    for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
            const bool alter = changed && dx == 1 && dy == 1;
            setPixel(*image, x + dx, y + dy,
                     packPixel(static_cast<std::uint8_t>(10 * dx), static_cast<std::uint8_t>(dy),
                               alter ? 1 : 0, 255));
        }
    }
    ASSERT_EQ(SaveBitmapToFile(image.get(), path), 0);
}

TEST(BuildExtras, AliasPlacesIdenticalTrimmedPixelsOnce) {
    for (const bool alias : {true, false}) {
        SCOPED_TRACE(alias ? "alias" : "no alias");
        BuildFixture f;
        writeBlock(f.input.file("a.png"), 4, 4, 1, 1, false);
        writeBlock(f.input.file("b.png"), 4, 4, 1, 1, false);
        writeBlock(f.input.file("c.png"), 4, 4, 1, 1, true);   // one pixel differs
        writeBlock(f.input.file("d.png"), 6, 5, 3, 2, false);  // same pixels, other margins
        f.settings.cropMode = kCropEach;
        f.settings.outputWidth = f.settings.outputHeight = 32;
        f.spec.extras.alias = alias;
        ASSERT_EQ(f.runBuild(), BuildOutcome::saved);

        ASSERT_EQ(f.run.placedNames,
                  (std::vector<std::string>{"a.png", "b.png", "c.png", "d.png"}));
        // a, b and d (same pixels, other margins) share a place only when aliased.
        const std::vector<Rect>& r = f.run.placedRects;
        EXPECT_EQ(r[1] == r[0], alias);
        EXPECT_NE(r[2], r[0]);
        EXPECT_EQ(r[3] == r[0], alias);
        EXPECT_EQ(f.run.notes.aliased, alias ? 2u : 0u);
        // d keeps its own offsets and source size.
        EXPECT_EQ(f.run.trimOffsets[f.run.placedFileIndices[3]], (Point{3, 2}));
        EXPECT_EQ(f.run.originalSizes[f.run.placedFileIndices[3]], (Size{6, 5}));
    }
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

}  // namespace
}  // namespace tilvane::testing
