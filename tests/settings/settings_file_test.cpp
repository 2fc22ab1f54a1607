#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/temp_dir.h"

namespace tilvane::testing {
namespace {

// Texts zero-filled to their 2048-byte blocks, integers 4 bytes little-endian,
// byte for byte; loading gives every stored field back and no other.
TEST(SettingsFile, FieldsLieAtTheirOffsetsAndLoadWhole) {
    // Every stored field differs from its default; the prefix keeps its first 2047 bytes.
    const JobSettings s{.inputFolder = "/in/",
                        .outputImageFile = "/out/a.tga",
                        .outputTextFile = "/out/a.json",
                        .outputWidth = 4294967295u,
                        .outputHeight = 2147483648u,
                        .borderSize = 3,
                        .spacing = 4,
                        .gridAlignX = 8,
                        .gridAlignY = 16,
                        .textFormat = -5,
                        .namePrefix = std::string(3000, 'p'),
                        .namePostfix = "_post",
                        .convertTabs = 1,
                        .tabSize = 2,
                        .changeCase = -2147483647 - 1,
                        .cssUrlPrefix = std::string(2047, 'c'),
                        .cropMode = 2,
                        .cropAlpha = 1000,
                        .createMask = 0,
                        .sortOrder = 2,
                        .randomSeed = 4000000000u,
                        .jpegQuality = -1,
                        .tiffCompression = 13,
                        .imageBrowsePath = "/browse/img.png",
                        .textBrowsePath = "/browse/txt.css",
                        .textBrowseTypeIndex = 3,
                        .saveSettingsPath = "/save/opts.cfg",
                        .loadSettingsPath = "/load/opts.cfg"};
    TempDir dir;
    ASSERT_TRUE(saveSettingsFile(s, dir.file("s.cfg")));
    // The fields in file order.
    std::string bytes;
    const auto texts = [&](std::initializer_list<std::string> values) {
        for (const std::string& v : values) bytes += v + std::string(2048 - v.size(), '\0');
    };
    const auto integers = [&](std::initializer_list<std::uint32_t> values) {
        for (const std::uint32_t v : values) {
            for (int i = 0; i < 4; ++i) bytes += static_cast<char>(v >> 8 * i);
        }
    };
    texts({"/in/", "/out/a.tga", "/out/a.json", std::string(2047, 'p'), "_post"});
    integers({4294967295u, 2147483648u, 3, 4, 0xFFFFFFFBu, 2, 4000000000u});
    texts({"/browse/img.png", "/browse/txt.css"});
    integers({8, 16, 2, 1000, 1, 2, 3});
    texts({"/save/opts.cfg", "/load/opts.cfg"});
    integers({0xFFFFFFFFu, 13, 0, 0x80000000u});
    texts({std::string(2047, 'c')});
    ASSERT_EQ(bytes.size(), 20552u);
    EXPECT_EQ(readFile(dir.file("s.cfg")), bytes);

    JobSettings loaded = defaultJobSettings();
    loaded.imageBrowseTypeIndex = 4;  // not stored: must survive a load
    loadSettingsFile(loaded, dir.file("s.cfg"));
    JobSettings expected = s;
    expected.imageBrowseTypeIndex = 4;
    expected.namePrefix.resize(2047);
    EXPECT_EQ(loaded, expected);

    // A short file sets the fields that lie wholly inside it and nothing else;
    // bytes past the record are ignored.
    const JobSettings defaults = defaultJobSettings();
    for (const std::size_t n : {0, 1000, 10240, 10242, 10244, 13000, 20551, 20652}) {
        SCOPED_TRACE(n);
        writeFile(dir.file("short.cfg"), (bytes + std::string(100, 'z')).substr(0, n));
        loaded = defaults;
        loadSettingsFile(loaded, dir.file("short.cfg"));
        const auto expectField = [&](std::size_t offset, std::size_t size, auto member) {
            EXPECT_EQ(loaded.*member, offset + size <= n ? expected.*member : defaults.*member)
                << offset;
        };
        expectField(0, 2048, &JobSettings::inputFolder);
        expectField(10240, 4, &JobSettings::outputWidth);
        expectField(10244, 4, &JobSettings::outputHeight);
        expectField(12316, 2048, &JobSettings::textBrowsePath);
        expectField(18504, 2048, &JobSettings::cssUrlPrefix);
    }
    // A text with no zero byte in its block stops at the block's end.
    std::memset(bytes.data(), 'q', 2048);
    decodeSettings(loaded, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    EXPECT_EQ(loaded.inputFolder, std::string(2048, 'q'));
    EXPECT_EQ(loaded.outputImageFile, "/out/a.tga");
}

// A text that its block would cut is named with its length; the first one in
// file order when several are.
TEST(SettingsFile, FieldTooLongNamesTheFirstTextItWouldCut) {
    struct Row {
        std::string JobSettings::*field;
        std::size_t bytes;
        const char* name;  // empty: saved whole
    };
    const Row rows[] = {
        {&JobSettings::outputImageFile, 3000, "the output image path"},
        {&JobSettings::inputFolder, 2048, "the input folder"},
        {&JobSettings::cssUrlPrefix, 2048, "the CSS url prefix"},
        {&JobSettings::loadSettingsPath, 2048, "the Load Settings path"},
        {&JobSettings::namePostfix, 2047, ""},
    };
    const std::string most = " bytes; the settings file holds at most 2047";
    for (const Row& r : rows) {
        JobSettings s = defaultJobSettings();
        s.*r.field = std::string(r.bytes, 'x');
        EXPECT_EQ(fieldTooLong(s).value_or(""),
                  *r.name ? r.name + (" is " + std::to_string(r.bytes) + most) : "");
    }
    JobSettings both = defaultJobSettings();
    both.cssUrlPrefix = std::string(5000, 'c');
    both.namePrefix = std::string(2100, 'p');
    EXPECT_EQ(fieldTooLong(both).value_or(""), "the name prefix is 2100" + most);
}

}  // namespace
}  // namespace tilvane::testing
