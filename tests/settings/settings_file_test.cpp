#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

std::uint32_t u32At(const std::string& bytes, std::size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string textAt(const std::string& bytes, std::size_t offset) {
    return std::string(bytes.c_str() + offset);  // up to the first zero byte
}

// A settings record whose every stored field differs from its default.
JobSettings everyFieldSet() {
    JobSettings s;
    s.inputFolder = "/in/";
    s.outputImageFile = "/out/a.tga";
    s.outputTextFile = "/out/a.json";
    s.namePrefix = std::string(3000, 'p');  // keeps its first 2047 bytes
    s.namePostfix = "_post";
    s.outputWidth = 4294967295u;
    s.outputHeight = 2147483648u;
    s.borderSize = 3;
    s.spacing = 4;
    s.textFormat = -5;
    s.sortOrder = 2;
    s.randomSeed = 4000000000u;
    s.imageBrowsePath = "/browse/img.png";
    s.textBrowsePath = "/browse/txt.css";
    s.gridAlignX = 8;
    s.gridAlignY = 16;
    s.cropMode = 2;
    s.cropAlpha = 1000;
    s.convertTabs = 1;
    s.tabSize = 2;
    s.textBrowseTypeIndex = 3;
    s.saveSettingsPath = "/save/opts.cfg";
    s.loadSettingsPath = "/load/opts.cfg";
    s.jpegQuality = -1;
    s.tiffCompression = 13;
    s.createMask = 0;
    s.changeCase = -2147483647 - 1;
    s.cssUrlPrefix = std::string(2047, 'c');
    return s;
}

TEST(SettingsFile, DefaultsLayOutEveryFieldAtItsOffset) {
    TempDir dir;
    JobSettings s = defaultJobSettings();
    s.inputFolder = "/in/";
    const std::string path = dir.file("Settings.cfg");
    ASSERT_TRUE(saveSettingsFile(s, path));
    const std::string bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 20552u);

    const std::pair<std::size_t, std::string> texts[] = {
        {0, "/in/"},
        {2048, s.outputImageFile},
        {4096, s.outputTextFile},
        {6144, ""},
        {8192, ""},
        {10268, ""},
        {12316, ""},
        {14392, s.saveSettingsPath},
        {16440, s.loadSettingsPath},
        {18504, "imgs/"},
    };
    for (const auto& [offset, text] : texts) EXPECT_EQ(textAt(bytes, offset), text) << offset;
    const std::pair<std::size_t, std::uint32_t> integers[] = {
        {10240, 512}, {10244, 512}, {10248, 1},   {10252, 1}, {10256, 0}, {10260, 1},
        {10264, 0},   {14364, 0},   {14368, 0},   {14372, 0}, {14376, 0}, {14380, 0},
        {14384, 4},   {14388, 0},   {18488, 100}, {18492, 0}, {18496, 1}, {18500, 0},
    };
    for (const auto& [offset, value] : integers) EXPECT_EQ(u32At(bytes, offset), value) << offset;
    // Each text block is zero after its text, through byte 2047.
    for (std::size_t block : {0u, 2048u, 18504u}) {
        const std::string text = textAt(bytes, block);
        for (std::size_t i = text.size(); i < 2048; ++i) ASSERT_EQ(bytes[block + i], '\0');
    }
}

TEST(SettingsFile, RoundTripsEveryField) {
    TempDir dir;
    const JobSettings saved = everyFieldSet();
    ASSERT_TRUE(saveSettingsFile(saved, dir.file("s.cfg")));
    JobSettings loaded = defaultJobSettings();
    loaded.imageBrowseTypeIndex = 4;  // not stored: must survive a load
    loadSettingsFile(loaded, dir.file("s.cfg"));
    JobSettings expected = saved;
    expected.imageBrowseTypeIndex = 4;
    expected.namePrefix.resize(2047);
    EXPECT_EQ(loaded, expected);
    // Spot-check the raw form of the extreme values.
    const std::string bytes = readFile(dir.file("s.cfg"));
    EXPECT_EQ(u32At(bytes, 10240), 4294967295u);
    EXPECT_EQ(u32At(bytes, 10256), static_cast<std::uint32_t>(-5));
    EXPECT_EQ(u32At(bytes, 18500), 0x80000000u);
}

// A short file (or none) sets the fields that lie wholly inside it and nothing
// else; bytes past the record are ignored.
TEST(SettingsFile, ShortFilesSetOnlyWholeFields) {
    TempDir dir;
    const std::string full = encodeSettings(everyFieldSet());
    const JobSettings source = everyFieldSet();
    const JobSettings defaults = defaultJobSettings();

    struct Case {
        const char* name;
        std::size_t length;
    };
    const Case cases[] = {
        {"empty", 0},
        {"inside the first text", 1000},
        {"the five leading texts exactly", 10240},
        {"inside the width", 10242},
        {"through the width", 10244},
        {"inside a later text block", 13000},
        {"one byte short", 20551},
        {"a tail past the record", 20652},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir.file("short.cfg"), (full + std::string(100, 'z')).substr(0, c.length));
        JobSettings loaded = defaults;
        loadSettingsFile(loaded, dir.file("short.cfg"));
        const std::size_t n = c.length;
        auto expectField = [&](std::size_t offset, std::size_t size, auto member) {
            const bool whole = offset + size <= n;
            EXPECT_EQ(loaded.*member, whole ? source.*member : defaults.*member) << offset;
        };
        expectField(0, 2048, &JobSettings::inputFolder);
        expectField(8192, 2048, &JobSettings::namePostfix);
        expectField(10240, 4, &JobSettings::outputWidth);
        expectField(10244, 4, &JobSettings::outputHeight);
        expectField(10268, 2048, &JobSettings::imageBrowsePath);
        expectField(12316, 2048, &JobSettings::textBrowsePath);
        expectField(14364, 4, &JobSettings::gridAlignX);
        expectField(18504, 2048, &JobSettings::cssUrlPrefix);
    }
}

TEST(SettingsFile, TextWithoutTerminatorStopsAtItsBlock) {
    std::string bytes = encodeSettings(defaultJobSettings());
    std::memset(bytes.data(), 'q', 2048);  // no zero byte inside the first block
    JobSettings loaded;
    decodeSettings(loaded, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    EXPECT_EQ(loaded.inputFolder, std::string(2048, 'q'));
    EXPECT_EQ(loaded.outputImageFile, defaultJobSettings().outputImageFile);
}

TEST(SettingsFile, SaveIntoAMissingFolderFailsAndSaysWhy) {
    TempDir dir;
    int error = 0;
    EXPECT_FALSE(saveSettingsFile(defaultJobSettings(), dir.file("missing/s.cfg"), &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tilvane
