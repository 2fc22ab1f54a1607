// Reading and saving image files by extension, and the coverage mask saved
// beside an atlas.
#include "image/image_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "image/mask.h"
#include "tests/codecs/codec_support.h"
#include "tests/support/special_files.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

// The reader is chosen by the extension, case ignored: PNG bytes load only by
// a PNG name. Only a regular file is read. Anything else at an image's path
// fails at once: a FIFO without waiting for a writer (or its guard would have
// had to let the open out), a device without being read; notRegular() tells
// those from a path that names nothing.
TEST(InputImageFile, OpensOnlyARegularFileAndNeverWaits) {
    TempDir dir;
    const std::string png = readFile(fixturePath("png_rgb8.png"));
    for (const char* name : {"a.png", "b.PNG", "c.Png", "d.gif", "e.tif", "f", "g.txt"}) {
        writeFile(dir.file(name), png);
    }
    fs::create_directory(dir.file("folder.png"));
    fs::create_symlink("pipe.png", dir.file("to_pipe.png"));
    fs::create_symlink("/dev/zero", dir.file("zero.png"));
    fs::create_symlink("gone.png", dir.file("dangling.png"));
    FifoGuard fifo(dir.file("pipe.png"));
    ASSERT_TRUE(fifo.made());
    const bool socket = makeSocketFile(dir.file("socket.png"));
    const std::tuple<const char*, bool, bool, bool> rows[] = {
        // name, opens, loads, not a regular file
        {"a.png", true, true, false},         {"b.PNG", true, true, false},
        {"c.Png", true, true, false},         {"d.gif", true, false, false},
        {"e.tif", true, false, false},        {"f", true, false, false},
        {"g.txt", true, false, false},        {"a.png/", false, false, false},
        {"missing.png", false, false, false}, {"dangling.png", false, false, false},
        {"folder.png", false, false, true},   {"folder.png/", false, false, true},
        {"pipe.png", false, false, true},     {"to_pipe.png", false, false, true},
        {"zero.png", false, false, true},     {"socket.png", false, false, socket},
    };
    for (const auto& [name, opens, loads, notRegular] : rows) {
        SCOPED_TRACE(name);
        const std::string path = dir.folder() + name;
        EXPECT_EQ(CreateBitmapFromFile(path) != nullptr, loads);
        const InputImageFile file(path);
        EXPECT_EQ(file.decode() != nullptr, loads);
        EXPECT_EQ(file.notRegular(), notRegular);
        // Open or not, by the size of what was opened.
        EXPECT_EQ(file.status() ? file.status()->st_size : -1, opens ? off_t(png.size()) : -1);
    }
    EXPECT_FALSE(fifo.release());
}

// What is decoded is the file that was opened, whatever the path names by
// then; a write to it since shows.
TEST(InputImageFile, DecodesTheFileItOpened) {
    TempDir dir;
    writeFile(dir.file("a.png"), readFile(fixturePath("png_rgb8.png")));
    writeFile(dir.file("b.png"), readFile(fixturePath("png_grey8.png")));
    const InputImageFile rgb(dir.file("a.png"));
    fs::rename(dir.file("b.png"), dir.file("a.png"));
    const ImagePtr image = rgb.decode();
    ASSERT_TRUE(image);
    EXPECT_TRUE(samePixels(*image, *CreateBitmapFromFile(fixturePath("png_rgb8.png"))));
    EXPECT_FALSE(samePixels(*image, *CreateBitmapFromFile(dir.file("a.png"))));
    const InputImageFile grey(dir.file("a.png"));
    EXPECT_TRUE(grey.unchangedSinceOpened());
    std::ofstream(dir.file("a.png"), std::ios::binary | std::ios::app) << "appended";
    EXPECT_FALSE(grey.unchangedSinceOpened());
}

// Each row's file held "old" first. A written file loads back (JPEG loses
// detail: it only has to load); one that failed keeps the old bytes, and no
// temporary file is left. Root ignores permissions, so a write error comes from
// a file size limit: 2 KiB.
TEST(SaveBitmapToFile, WritesByExtensionOrLeavesTheOldFile) {
    TempDir dir;
    const ImagePtr image = makeRoundTripImage(256, 256);
    const ImagePtr shallow = PixelImage::create(8, 8, 24);
    const std::tuple<const char*, const PixelImage*, SaveOptions, int> rows[] = {
        {"a.png", image.get(), {}, 0},
        {"b.TIF", image.get(), TiffOptions{13}, 0},
        {"e.jpg", image.get(), {}, 0},
        {"q90.jpg", image.get(), JpegOptions{90}, 0},
        {"q20.jpg", image.get(), JpegOptions{20}, 0},
        {"x.gif", image.get(), {}, ENOTSUP},
        {"x", image.get(), {}, ENOTSUP},
        {"x.png", shallow.get(), {}, EINVAL},
        {"y.png", nullptr, {}, EINVAL},
        {"big.png", image.get(), {}, EFBIG},
        {"big.tif", image.get(), TiffOptions{0}, EFBIG},
    };
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 2048;
    auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    for (const auto& [name, given, options, error] : rows) {
        SCOPED_TRACE(name);
        writeFile(dir.file(name), "old");
        if (error == EFBIG) ::setrlimit(RLIMIT_FSIZE, &small);
        const int got = SaveBitmapToFile(given, dir.file(name), options);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(got, error);
        if (error != 0) {
            EXPECT_EQ(readFile(dir.file(name)), "old");
            continue;
        }
        const ImagePtr back = CreateBitmapFromFile(dir.file(name));
        ASSERT_TRUE(back);
        EXPECT_TRUE(std::strstr(name, ".jpg") || samePixels(*back, *image));
    }
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(folderSnapshot(dir.path()).size(), std::size(rows));
    // The JPEG quality comes from the record, 90 without one.
    EXPECT_EQ(readFile(dir.file("e.jpg")), readFile(dir.file("q90.jpg")));
    EXPECT_LT(readFile(dir.file("q20.jpg")).size(), readFile(dir.file("q90.jpg")).size());
    EXPECT_EQ(SaveBitmapToFile(image.get(), dir.file("no/such/folder.png")), ENOENT);
    fs::create_directory(dir.file("f.png"));
    EXPECT_EQ(SaveBitmapToFile(image.get(), dir.file("f.png")), EISDIR);
}

TEST(MaskPath, MaskGoesBeforeTheExtension) {
    const std::pair<const char*, const char*> rows[] = {
        {"/out/atlas.png", "/out/atlas_mask.png"},
        {"sheet.tga", "sheet_mask.tga"},
        {"/a.b/sheet", "/a.b/sheet_mask"},
        {"/out/atlas.final.TIF", "/out/atlas.final_mask.TIF"},
        {"noext", "noext_mask"}};
    for (const auto& [output, mask] : rows) EXPECT_EQ(maskPathFor(output), mask) << output;
}

// The mask is opaque white over the rectangles on transparent black, saved
// beside the atlas, which is not made. A mask that cannot be made leaves no
// file and says why.
TEST(CreateMaskImage, DrawsTheRectanglesOrFailsSayingWhy) {
    const std::vector<Rect> rects = {{1, 1, 3, 2}, {5, 0, 5, 5}, {-4, 7, 100, 9}};
    const std::tuple<const char*, std::uint32_t, std::uint32_t, int> rows[] = {
        {"atlas.png", 8, 10, 0},           {"a.png", 0, 10, EINVAL},
        {"b.png", 0x80000000u, 1, EINVAL}, {"c.xyz", 4, 4, ENOTSUP},
        {"missing/d.png", 4, 4, ENOENT},
    };
    for (const auto& [name, width, height, error] : rows) {
        SCOPED_TRACE(name);
        TempDir dir;
        int got = 0;
        EXPECT_EQ(createMaskImage(dir.file(name), width, height, rects, &got), error == 0);
        EXPECT_EQ(got, error);
        const ImagePtr mask = CreateBitmapFromFile(maskPathFor(dir.file(name)));
        EXPECT_EQ(folderSnapshot(dir.path()).size(), error == 0 ? 1u : 0u);
        if (error != 0) continue;
        ASSERT_TRUE(mask);
        ASSERT_EQ(mask->width(), 8);
        ASSERT_EQ(mask->height(), 10);
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 8; ++x) {
                const bool covered = std::any_of(rects.begin(), rects.end(), [&](const Rect& r) {
                    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
                });
                EXPECT_EQ(getPixel(*mask, x, y), covered ? 0xFFFFFFFFu : 0u) << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace tilvane::testing
