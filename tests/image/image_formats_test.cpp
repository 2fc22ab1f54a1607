#include "image/image_formats.h"

#include <gtest/gtest.h>

#include <string>

#include "model/choice_tables.h"

namespace tilvane {
namespace {

// The dialog's lists pick among the table's extensions: each input one reads,
// each output one writes.
TEST(ImageFormats, TheDialogsListsAreInTheTable) {
    for (const std::string_view e : kInputExtensions) {
        const ImageFormatInfo* f = imageFormatOf(std::string("a") += e);
        EXPECT_TRUE(f && f->readable) << e;
    }
    for (const auto& list :
         {ChoiceTable(kOutputImageExtensions), ChoiceTable(kExtraImageExtensions)}) {
        for (const std::string_view e : list) {
            const ImageFormatInfo* f = imageFormatOf(std::string("a") += e);
            EXPECT_TRUE(f && f->readable && f->writable && f->maxSide > 0) << e;
        }
    }
    EXPECT_EQ(imageFormatOf("dir.png/atlas"), nullptr);
    EXPECT_EQ(imageFormatOf("atlas.avif"), nullptr);
    ASSERT_NE(imageFormatOf("A.JPEG"), nullptr);
    EXPECT_EQ(imageFormatOf("A.JPEG")->format, ImageFormat::jpeg);
}

TEST(ImageFormats, SizeRefusalNamesTheFormatAndTheSize) {
    struct Row {
        const char* path;
        std::int64_t width, height;
        const char* refusal;  // empty: accepted
    };
    const Row rows[] = {
        {"out/a.jpg", 65500, 65500, ""},
        {"out/a.JPG", 65501, 512,
         "JPEG stores at most 65500 pixels a side; the atlas would be "
         "65501x512"},
        {"a.tga", 64, 65536, "TGA stores at most 65535 pixels a side; the atlas would be 64x65536"},
        {"a.rgb", 65536, 1, "SGI stores at most 65535 pixels a side; the atlas would be 65536x1"},
        {"a.bmp", 2147483647, 1, ""},
        {"a.png", 2147483648, 1,
         "PNG stores at most 2147483647 pixels a side; the atlas would be 2147483648x1"},
        {"a.tif", 4294967295, 4294967295, ""},
        {"a.webp", 16383, 16383, ""},
        {"a.WEBP", 16383, 16384,
         "WebP stores at most 16383 pixels a side; the atlas would be 16383x16384"},
        // No writer: the build refuses the extension in its own words.
        {"a.gif", 99999, 1, ""},
        {"a.xyz", 99999, 1, ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(formatSizeRefusal(r.path, r.width, r.height).value_or(""), r.refusal) << r.path;
    }
}

}  // namespace
}  // namespace tilvane
