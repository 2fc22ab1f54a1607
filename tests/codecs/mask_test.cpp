#include "image/mask.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "image/image_file.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {
namespace {

TEST(MaskPath, MaskGoesBeforeTheExtension) {
    struct Row {
        const char* output;
        const char* mask;
    };
    for (const Row& row :
         {Row{"/out/atlas.png", "/out/atlas_mask.png"}, Row{"sheet.tga", "sheet_mask.tga"},
          Row{"/a.b/sheet", "/a.b/sheet_mask"},
          Row{"/out/atlas.final.TIF", "/out/atlas.final_mask.TIF"}, Row{"noext", "noext_mask"}}) {
        EXPECT_EQ(maskPathFor(row.output), row.mask) << row.output;
    }
}

TEST(CreateMaskImage, OpaqueWhiteRectanglesOnTransparentBlack) {
    TempDir dir;
    const std::vector<Rect> rects = {{1, 1, 3, 2}, {5, 0, 5, 5}, {-4, 7, 100, 9}};
    ASSERT_TRUE(createMaskImage(dir.file("atlas.png"), 8, 10, rects));
    ImagePtr mask = CreateBitmapFromFile(dir.file("atlas_mask.png"));
    ASSERT_TRUE(mask);
    ASSERT_EQ(mask->width(), 8);
    ASSERT_EQ(mask->height(), 10);
    ASSERT_EQ(mask->bitDepth(), 32);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool covered = false;
            for (const Rect& r : rects) {
                covered = covered || (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom);
            }
            EXPECT_EQ(getPixel(*mask, x, y), covered ? 0xFFFFFFFFu : 0u) << x << "," << y;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("atlas.png")));
}

TEST(CreateMaskImage, FailsSilentlyWithoutLeavingAFileButSaysWhy) {
    TempDir dir;
    struct Row {
        const char* name;
        std::uint32_t width, height;
        int error;
    };
    for (const Row& row : {Row{"a.png", 0, 10, EINVAL}, Row{"b.png", 0x80000000u, 1, EINVAL},
                           Row{"c.xyz", 4, 4, ENOTSUP}, Row{"missing/d.png", 4, 4, ENOENT}}) {
        SCOPED_TRACE(row.name);
        int error = 0;
        EXPECT_FALSE(
            createMaskImage(dir.file(row.name), row.width, row.height, {{0, 0, 1, 1}}, &error));
        EXPECT_EQ(error, row.error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tilvane::testing
