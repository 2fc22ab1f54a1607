// Reading and saving image files by extension, and the coverage mask saved
// beside an atlas.
#include "image/image_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "image/mask.h"
#include "tests/codecs/codec_support.h"
#include "tests/support/special_files.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(CreateBitmapFromFile, ChoosesTheReaderByExtensionIgnoringCase) {
    TempDir dir;
    const std::string png = readFile(fixturePath("png_rgb8.png"));
    // The bytes are PNG; another extension picks another reader.
    const std::pair<const char*, bool> rows[] = {
        {"a.png", true},  {"b.PNG", true}, {"c.Png", true}, {"d.gif", false},
        {"e.tif", false}, {"f", false},    {"g.txt", false}};
    for (const auto& [name, loads] : rows) {
        writeFile(dir.file(name), png);
        EXPECT_EQ(CreateBitmapFromFile(dir.file(name)) != nullptr, loads) << name;
    }
}

// Only a regular file is read. Anything else at an image's path fails at once:
// a FIFO without waiting for a writer (or its guard would have had to let the
// open out), a device without being read; notRegular() tells those from a
// path that names nothing.
TEST(InputImageFile, OpensOnlyARegularFileAndNeverWaits) {
    TempDir dir;
    const std::string png = readFile(fixturePath("png_rgb8.png"));
    writeFile(dir.file("a.png"), png);
    fs::create_directory(dir.file("folder.png"));
    fs::create_symlink("pipe.png", dir.file("to_pipe.png"));
    fs::create_symlink("/dev/zero", dir.file("zero.png"));
    fs::create_symlink("gone.png", dir.file("dangling.png"));
    FifoGuard fifo(dir.file("pipe.png"));
    ASSERT_TRUE(fifo.made());
    const bool socket = makeSocketFile(dir.file("socket.png"));
    const std::tuple<const char*, bool, bool> rows[] = {
        // name, loads, not a regular file
        {"a.png", true, false},         {"a.png/", false, false},     {"missing.png", false, false},
        {"dangling.png", false, false}, {"folder.png", false, true},  {"folder.png/", false, true},
        {"pipe.png", false, true},      {"to_pipe.png", false, true}, {"zero.png", false, true},
        {"socket.png", false, socket},
    };
    for (const auto& [name, loads, notRegular] : rows) {
        SCOPED_TRACE(name);
        const std::string path = dir.folder() + name;
        EXPECT_EQ(CreateBitmapFromFile(path) != nullptr, loads);
        const InputImageFile file(path);
        EXPECT_EQ(file.isOpen(), loads);
        EXPECT_EQ(file.notRegular(), notRegular);
        EXPECT_EQ(file.status() != nullptr, loads);
        if (loads) {
            EXPECT_EQ(file.status()->st_size, static_cast<off_t>(png.size()));
        }
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

TEST(SaveBitmapToFile, EachLibraryFormatWritesWhatLoadsBack) {
    TempDir dir;
    const ImagePtr original = makeRoundTripImage(29, 17);
    // JPEG loses detail: it only has to load.
    const std::tuple<const char*, SaveOptions, bool> rows[] = {{"a.png", {}, true},
                                                               {"b.TIF", TiffOptions{13}, true},
                                                               {"c.tif", {}, true},
                                                               {"e.jpg", {}, false}};
    for (const auto& [name, options, exact] : rows) {
        SCOPED_TRACE(name);
        ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file(name), options), 0);
        const ImagePtr back = CreateBitmapFromFile(dir.file(name));
        ASSERT_TRUE(back);
        EXPECT_TRUE(!exact || samePixels(*back, *original));
    }
    // Nothing but the targets is left in the folder.
    EXPECT_EQ(folderSnapshot(dir.path()).size(), std::size(rows));
    // The JPEG quality comes from the record, 90 without one.
    ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file("q90.jpg"), JpegOptions{90}), 0);
    ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file("q20.jpg"), JpegOptions{20}), 0);
    EXPECT_EQ(readFile(dir.file("e.jpg")), readFile(dir.file("q90.jpg")));
    EXPECT_LT(readFile(dir.file("q20.jpg")).size(), readFile(dir.file("q90.jpg")).size());
}

// Root ignores permissions, so a write error comes from a file size limit.
TEST(SaveBitmapToFile, FailureLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const ImagePtr image = makeRoundTripImage(256, 256);
    const ImagePtr shallow = PixelImage::create(8, 8, 24);
    // EFBIG: written under a file size limit of 2 KiB.
    const std::tuple<const char*, const PixelImage*, int> rows[] = {
        {"x.gif", image.get(), ENOTSUP}, {"x.psd", image.get(), ENOTSUP},
        {"x", image.get(), ENOTSUP},     {"x.png", shallow.get(), EINVAL},
        {"y.png", nullptr, EINVAL},      {"big.png", image.get(), EFBIG},
        {"big.tif", image.get(), EFBIG}, {"big.jpg", image.get(), EFBIG},
    };
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 2048;
    auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    for (const auto& [name, given, error] : rows) {
        SCOPED_TRACE(name);
        writeFile(dir.file(name), "the previous file");
        if (error == EFBIG) ::setrlimit(RLIMIT_FSIZE, &small);
        const int got = SaveBitmapToFile(given, dir.file(name), TiffOptions{0});
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(got, error);
        EXPECT_EQ(readFile(dir.file(name)), "the previous file");
    }
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(folderSnapshot(dir.path()).size(), std::size(rows));
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

TEST(CreateMaskImage, OpaqueWhiteRectanglesOnTransparentBlack) {
    TempDir dir;
    const std::vector<Rect> rects = {{1, 1, 3, 2}, {5, 0, 5, 5}, {-4, 7, 100, 9}};
    ASSERT_TRUE(createMaskImage(dir.file("atlas.png"), 8, 10, rects));
    const ImagePtr mask = CreateBitmapFromFile(dir.file("atlas_mask.png"));
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
    EXPECT_FALSE(fs::exists(dir.file("atlas.png")));
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
        int error = 0;
        EXPECT_FALSE(
            createMaskImage(dir.file(row.name), row.width, row.height, {{0, 0, 1, 1}}, &error));
        EXPECT_EQ(error, row.error) << row.name;
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace tilvane::testing
