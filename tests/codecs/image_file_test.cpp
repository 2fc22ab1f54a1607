#include "image/image_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <filesystem>

#include "image/codecs/codecs.h"
#include "tests/codecs/library_fixtures.h"

namespace tilvane::testing::library {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

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
    ImagePtr original = makeImage(29, 17, roundTripColour);
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
            EXPECT_TRUE(
                std::equal(back->bits(), back->bits() + back->byteSize(), original->bits()));
        }
    }
    // Nothing but the targets is left in the folder.
    EXPECT_EQ(namesIn(dir.path()).size(), rows.size());
}

TEST(SaveBitmapToFile, JpegQualityComesFromTheRecordAnd90WithoutOne) {
    TempDir dir;
    ImagePtr original = makeImage(64, 64, roundTripColour);
    ASSERT_TRUE(original);
    ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file("none.jpg")), 0);
    ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file("q90.jpg"), JpegOptions{90}), 0);
    ASSERT_EQ(SaveBitmapToFile(original.get(), dir.file("q20.jpg"), JpegOptions{20}), 0);
    EXPECT_EQ(readFile(dir.file("none.jpg")), readFile(dir.file("q90.jpg")));
    EXPECT_LT(readFile(dir.file("q20.jpg")).size(), readFile(dir.file("q90.jpg")).size());
}

TEST(SaveBitmapToFile, FailureLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    ImagePtr image = makeImage(300, 300, roundTripColour);
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
    EXPECT_EQ(namesIn(dir.path()).size(), 5u);
    EXPECT_EQ(SaveBitmapToFile(image.get(), dir.file("no/such/folder.png")), ENOENT);
    fs::create_directory(dir.file("f.png"));
    EXPECT_EQ(SaveBitmapToFile(image.get(), dir.file("f.png")), EISDIR);
}

// Root ignores permissions, so a write error comes from a file size limit.
TEST(SaveBitmapToFile, WriteErrorLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    ImagePtr image = makeImage(256, 256, roundTripColour);
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
    EXPECT_EQ(namesIn(dir.path()).size(), names.size());
}

// Every fixture of ours cut short, and every crafted file of the hostile
// corpus (headers claiming 2^31 pixels, zero sizes, palette indices beyond
// the palette), fails to load; the sanitizer build runs this too.
TEST(HostileFiles, TruncatedFixturesFailToLoad) {
    using Reader = ImagePtr (*)(codecs::ByteSpan);
    const std::vector<std::pair<std::string, Reader>> prefixes = {{"png_", codecs::readPng},
                                                                  {"jpeg_", codecs::readJpeg},
                                                                  {"tiff_", codecs::readTiff},
                                                                  {"gif_", codecs::readGif}};
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(dataFolder())) {
        const std::string name = entry.path().filename().string();
        for (const auto& [prefix, reader] : prefixes) {
            if (name.rfind(prefix, 0) != 0) continue;
            const std::vector<std::uint8_t> bytes = fileBytes(entry.path().string());
            ASSERT_GT(bytes.size(), 40u);
            // The last 16 bytes hold the end of the image data, except in TIFF
            // files, which may end in tag values libtiff can do without.
            const std::size_t n = bytes.size();
            const std::size_t last = prefix == "tiff_" ? n / 2 : n - 16;
            for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{20},
                                    n / 4, n / 2, n * 3 / 4, last}) {
                SCOPED_TRACE(name + " cut at " + std::to_string(cut));
                EXPECT_EQ(reader(codecs::ByteSpan(bytes.data(), cut)), nullptr);
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 100);
}

TEST(HostileFiles, CraftedCorpusFilesFailToLoad) {
    const std::vector<std::pair<std::string, ImagePtr (*)(codecs::ByteSpan)>> codecs = {
        {"png", codecs::readPng},
        {"jpeg", codecs::readJpeg},
        {"tiff", codecs::readTiff},
        {"gif", codecs::readGif}};
    int checked = 0;
    for (const auto& [codec, reader] : codecs) {
        const fs::path folder = fs::path(TILVANE_SOURCE_DIR) / "fuzz" / "corpus" / codec;
        ASSERT_TRUE(fs::is_directory(folder)) << folder;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            const std::vector<std::uint8_t> bytes = fileBytes(entry.path().string());
            ImagePtr image = reader(codecs::ByteSpan(bytes.data(), bytes.size()));
            // Seeds are valid files, for the fuzzer to mutate; the rest is bad.
            if (name.rfind("bad_", 0) == 0) {
                EXPECT_EQ(image, nullptr) << codec << "/" << name;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 20);
}

}  // namespace
}  // namespace tilvane::testing::library
