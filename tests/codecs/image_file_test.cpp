#include "image/image_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <filesystem>

#include "image/codecs/codecs.h"
#include "tests/codecs/codec_support.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(CreateBitmapFromFile, ChoosesTheReaderByExtensionIgnoringCase) {
    TempDir dir;
    const std::string png = readFile(fixturePath("png_rgb8.png"));
    struct Row {
        const char* name;
        bool loads;
    };
    for (const Row& row :
         {Row{"a.png", true}, Row{"b.PNG", true}, Row{"c.Png", true},
          // The bytes are PNG; the extension picks another reader.
          Row{"d.gif", false}, Row{"e.tif", false}, Row{"f", false}, Row{"g.txt", false}}) {
        SCOPED_TRACE(row.name);
        writeFile(dir.file(row.name), png);
        EXPECT_EQ(CreateBitmapFromFile(dir.file(row.name)) != nullptr, row.loads);
    }
    EXPECT_EQ(CreateBitmapFromFile(dir.file("missing.png")), nullptr);
    EXPECT_EQ(CreateBitmapFromFile(dir.folder() + "folder.png/"), nullptr);
    fs::create_directory(dir.file("folder.png"));
    EXPECT_EQ(CreateBitmapFromFile(dir.file("folder.png")), nullptr);
}

TEST(SaveBitmapToFile, EachLibraryFormatWritesWhatLoadsBack) {
    TempDir dir;
    ImagePtr original = makeRoundTripImage(29, 17);
    ASSERT_TRUE(original);
    struct Row {
        const char* name;
        SaveOptions options;
        int depth;
        bool exact;
    };
    const std::vector<Row> rows = {
        {"a.png", {}, 32, true},  {"b.TIF", TiffOptions{13}, 32, true},
        {"c.tif", {}, 32, true},  {"d.jpg", JpegOptions{100}, 24, false},
        {"e.jpg", {}, 24, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file(row.name), row.options), 0);
        ImagePtr back = CreateBitmapFromFile(dir.file(row.name));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->bitDepth(), row.depth);
        if (row.exact) {
            EXPECT_TRUE(samePixels(*back, *original));
        }
    }
    // Nothing but the targets is left in the folder.
    EXPECT_EQ(folderSnapshot(dir.path()).size(), rows.size());
    // The JPEG quality comes from the record, 90 without one.
    ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file("q90.jpg"), JpegOptions{90}), 0);
    ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file("q20.jpg"), JpegOptions{20}), 0);
    EXPECT_EQ(readFile(dir.file("e.jpg")), readFile(dir.file("q90.jpg")));
    EXPECT_LT(readFile(dir.file("q20.jpg")).size(), readFile(dir.file("q90.jpg")).size());
}

TEST(SaveBitmapToFile, FailureLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    ImagePtr image = makeRoundTripImage(300, 300);
    ImagePtr shallow = PixelImage::create(8, 8, 24);
    ASSERT_TRUE(image && shallow);
    const std::string old = "the previous file";
    struct Row {
        const char* name;
        const PixelImage* image;
        int error;
    };
    for (const Row& row : {Row{"x.gif", image.get(), ENOTSUP}, Row{"x.psd", image.get(), ENOTSUP},
                           Row{"x", image.get(), ENOTSUP}, Row{"x.png", shallow.get(), EINVAL},
                           Row{"y.png", nullptr, EINVAL}}) {
        SCOPED_TRACE(row.name);
        writeFile(dir.file(row.name), old);
        EXPECT_EQ(SaveBitmapToFile(row.image, dir.file(row.name)), row.error);
        EXPECT_EQ(readFile(dir.file(row.name)), old);
    }
    EXPECT_EQ(folderSnapshot(dir.path()).size(), 5u);
    EXPECT_EQ(SaveBitmapToFile(image.get(), dir.file("no/such/folder.png")), ENOENT);
    fs::create_directory(dir.file("f.png"));
    EXPECT_EQ(SaveBitmapToFile(image.get(), dir.file("f.png")), EISDIR);
}

// Root ignores permissions, so a write error comes from a file size limit.
TEST(SaveBitmapToFile, WriteErrorLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    ImagePtr image = makeRoundTripImage(256, 256);
    ASSERT_TRUE(image);
    const std::string old = "the previous file";
    const std::vector<std::string> names = {"big.png", "big.tif", "big.jpg"};
    for (const std::string& name : names) writeFile(dir.file(name), old);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 2048;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<int> results;
    for (const std::string& name : names) {
        results.push_back(SaveBitmapToFile(image.get(), dir.file(name), TiffOptions{0}));
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);

    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(results[i], EFBIG);
        EXPECT_EQ(readFile(dir.file(names[i])), old);
    }
    EXPECT_EQ(folderSnapshot(dir.path()).size(), names.size());
}

}  // namespace
}  // namespace tilvane::testing
