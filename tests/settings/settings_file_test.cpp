#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "settings/extension_options.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {
namespace {

// The parts "key=value" of text between '|', as entries (the key up to the first '=').
std::vector<ExtensionEntry> entries(const std::string& text) {
    std::vector<ExtensionEntry> list;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line, '|');)
        list.push_back({line.substr(0, line.find('=')), line.substr(line.find('=') + 1)});
    return list;
}

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
        for (const std::uint32_t v : values)
            for (int i = 0; i < 4; ++i) bytes += static_cast<char>(v >> 8 * i);
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

// The options beyond the 28 fields ride in the block after them: written only
// when one differs from its default, read back into the same job, unknown keys
// kept and written back; a block that cannot be read counts as absent.
TEST(SettingsFile, ExtensionBlockCarriesTheOtherOptions) {
    // The block: its tag, the text's length (4 bytes little-endian), the text.
    const auto block = [](const std::string& text, std::size_t length) {
        std::string b = "TLVX";
        for (int i = 0; i < 4; ++i) b += static_cast<char>(length >> 8 * i);
        return b + text;
    };
    JobSpec plain;
    plain.settings = defaultJobSettings();
    EXPECT_EQ(settingsFileBytes(plain), encodeSettings(plain.settings));

    JobSpec jobSpec = plain;
    ASSERT_TRUE(applyExtensionEntries(
                    entries("fit=pot|format=cocos|animations=1|pivot= 0.50 , +1 |"
                            "sprite-data=data/sprites.json|extrude=2|alias=1|bleed=1|premultiply=1|"
                            "keep-layout=out/L.json|verify=1|png-compression=fast|webp-quality=80|"
                            "depfile=out/a b.d|variant=@2x:1,:0.50|later-option=x=y"),
                    jobSpec)
                    .empty());
    const std::string bytes = settingsFileBytes(jobSpec);
    const std::string payload =
        "fit=pot\nformat=cocos\nanimations=1\npivot=0.5,1\nsprite-data=data/sprites.json\n"
        "extrude=2\nalias=1\nbleed=1\npremultiply=1\nverify=1\nkeep-layout=out/L.json\n"
        "png-compression=fast\nwebp-quality=80\ndepfile=out/a b.d\nvariant=@2x:1,:0.5\n"
        "later-option=x=y\n";
    EXPECT_EQ(bytes.substr(kSettingsFileSize), block(payload, payload.size()));
    SettingsExtensions read;
    JobSpec loaded = plain;
    decodeSettings(loaded.settings, reinterpret_cast<const unsigned char*>(bytes.data()),
                   bytes.size(), &read);
    EXPECT_EQ(read.problem, "");
    EXPECT_TRUE(applyExtensionEntries(read.entries, loaded).empty());
    EXPECT_EQ(settingsFileBytes(loaded), bytes);
    EXPECT_EQ(loaded.sizing.fit, FitShape::pot);
    EXPECT_EQ(loaded.extras.format, DataFormat::cocos);
    EXPECT_EQ(loaded.extras.pivot, (Pivot{0.5, 1}));
    EXPECT_TRUE(loaded.extras.verify);
    EXPECT_EQ(loaded.extras.variants, (std::vector<ScaleVariant>{{"@2x", 1}, {"", 0.5}}));
    EXPECT_EQ(loaded.extras.webpQuality, 80u);

    // Refused values change nothing and are named.
    EXPECT_EQ(
        applyExtensionEntries(entries("fit=round|extrude=1025|pages=yes|depfile= |depfile=a\nb|"
                                      "scale=0|variant=@2x:1,@2x|variant=a:1,a:2|webp-quality=101|"
                                      "pivot=0.5|sprite-data=a\rb"),
                              loaded),
        (std::vector<std::string>{
            "fit=round: not one of any|pot|square|pot-square", "extrude=1025: not within 0..1024",
            "pages=yes: not 1 or 0", "depfile= : it names no file",
            "depfile=a\nb: it holds a line break", "scale=0: a scale is above 0 and at most 16",
            "variant=@2x:1,@2x: \"@2x\": a variant is a suffix, a "
            "colon and a scale such as 0.5",
            "variant=a:1,a:2: the suffix \"a\" is given twice",
            "webp-quality=101: not within 0..100",
            "pivot=0.5: give two numbers X,Y within -1000..1000",
            "sprite-data=a\rb: it holds a line break"}));
    EXPECT_EQ(settingsFileBytes(loaded), bytes);

    struct Row {
        const char* name;
        std::string after;  // the bytes after the 28 fields
        std::vector<ExtensionEntry> entries;
        const char* problem;
    };
    const Row rows[] = {
        {"none", "", {}, ""},
        {"read, last value wins", block("a=1\nb=\na=2\n", 11), {{"a", "2"}, {"b", ""}}, ""},
        {"bytes past the block ignored", block("a=1\nzz", 4), {{"a", "1"}}, ""},
        {"bad tag", "TLVY" + block("a=1\n", 4).substr(4), {}, "not an extension block"},
        {"cut header", "TLV", {}, "not an extension block"},
        {"length past the end", block("a=1\n", 5), {}, "past the end"},
        {"length past the limit", block("", 65537), {}, "past the end"},
        {"bad UTF-8", block("a=\xC3\x28\n", 5), {}, "UTF-8"},
        {"no equals", block("a\n", 2), {}, "not key=value"},
        {"no line end", block("a=1", 3), {}, "not key=value"},
        {"bad key", block("A=1\n", 4), {}, "not key=value"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string file = encodeSettings(plain.settings) + r.after;
        JobSettings fields;
        decodeSettings(fields, reinterpret_cast<const unsigned char*>(file.data()), file.size(),
                       &read);
        EXPECT_EQ(fields, plain.settings);
        EXPECT_EQ(read.entries, r.entries);
        EXPECT_NE(read.problem.find(r.problem), std::string::npos) << read.problem;
        EXPECT_EQ(read.problem.empty(), *r.problem == '\0');
    }
    EXPECT_EQ(extensionBlockProblem({{"a", "x\ny"}}).value_or(""),
              "the value of a holds a line break or a NUL");
    EXPECT_TRUE(extensionBlockProblem({{"a", std::string(65534, 'v')}}));
}

}  // namespace
}  // namespace tilvane::testing
