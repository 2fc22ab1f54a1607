#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <sstream>

#include "tests/textout/writer_harness.h"
#include "textout/text_writers.h"

namespace tilvane {
namespace {

using testing::TempDir;
using testing::Writer;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::size_t filesIn(const TempDir& folder) {
    return static_cast<std::size_t>(std::distance(
        std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()));
}

// The same placed image seen by all four writers: how the plain text writes it
// and which id the other three give it.
TEST(Writers, EntryIdsInEveryFormat) {
    struct Case {
        const char* name;
        const char* fileName;
        const char* prefix;
        const char* postfix;
        std::int32_t changeCase;
        const char* plainLine;
        const char* entryName;
        const char* id;
    };
    const Case cases[] = {
        {"case 3 keeps the prefix", "hero.png", "spr_", "", 3, "spr_HERO = \"0 0 32 16\"", "HERO",
         "spr_HERO"},
        {"case 1 upper-cases it", "hero.png", "spr_", "", 1, "SPR_HERO = \"0 0 32 16\"", "HERO",
         "SPR_HERO"},
        {"punctuation only in plain text", "hero.png", "my-", ".x", 0, "my-hero = \"0 0 32 16\".x",
         "hero", "my_hero_x"},
        {"markup and quotes", "hero.png", "\"&<'>]}", "</root>", 0,
         "\"&<'>]}hero = \"0 0 32 16\"</root>", "hero", "_______hero__root_"},
        {"blanks and brackets", "my sprite (2).png", "", "", 0, "my_sprite__2_ = \"0 0 32 16\"",
         "my_sprite__2_", "my_sprite__2_"},
        {"only an extension", ".png", "", "", 0, " = \"0 0 32 16\"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobSettings settings = testing::exampleSettings();
        settings.namePrefix = c.prefix;
        settings.namePostfix = c.postfix;
        settings.changeCase = c.changeCase;
        TempDir folder;
        const auto runFor = [&] {
            BuildRun run = testing::heroRun();
            run.placedNames = {c.fileName};
            return run;
        };

        BuildRun plainRun = runFor();
        const auto plain =
            testing::runWriter(writePlainTextRects, settings, plainRun, folder, "r.txt");
        ASSERT_TRUE(plain.ok);
        EXPECT_EQ(linesOf(plain.text).at(2), c.plainLine);
        EXPECT_EQ(plainRun.placedNames, std::vector<std::string>{c.entryName});

        BuildRun jsonRun = runFor();
        const auto json = testing::runWriter(writeJsonRects, settings, jsonRun, folder, "r.json");
        ASSERT_TRUE(json.ok);
        EXPECT_EQ(testing::jsonIds(json.text), std::vector<std::string>{c.id});
        EXPECT_EQ(jsonRun.placedNames, std::vector<std::string>{c.entryName});

        BuildRun xmlRun = runFor();
        const auto xml = testing::runWriter(writeXmlRects, settings, xmlRun, folder, "r.xml");
        ASSERT_TRUE(xml.ok);
        EXPECT_EQ(testing::xmlIds(xml.text), std::vector<std::string>{c.id});

        BuildRun cssRun = runFor();
        const auto css = testing::runWriter(writeCssRects, settings, cssRun, folder, "r.css");
        ASSERT_TRUE(css.ok);
        EXPECT_EQ(linesOf(css.text).at(0), "." + std::string(c.id) + " {");
    }
}

TEST(Writers, PlainTextHeaderFollowsSortOrderAlone) {
    struct Case {
        std::int32_t sortOrder;
        std::uint32_t seed;
        const char* header;
    };
    const Case cases[] = {
        {0, 7, "// Sorting order: Alphabetical\n\n"},
        {1, 7, "// Sorting order: Image Size\n\n"},
        {2, 4294967295u, "// Sorting order: Random (Random Seed = 4294967295)\n\n"},
        {-1, 7, "// Sorting order: Image Size\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sortOrder);
        JobSettings settings = testing::exampleSettings();
        settings.sortOrder = c.sortOrder;
        settings.randomSeed = c.seed;
        BuildRun run;
        TempDir folder;
        const auto result = testing::runWriter(writePlainTextRects, settings, run, folder, "r.txt");
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.text, c.header);
    }
}

TEST(Writers, JsonAndXmlTreatStylePairsAlike) {
    for (const Writer writer : {writeJsonRects, writeXmlRects}) {
        for (const auto& [style, twin] : {std::pair{1, 0}, std::pair{3, 2}}) {
            SCOPED_TRACE(style);
            TempDir folder;
            JobSettings settings = testing::exampleSettings();
            settings.textFormat = style;
            BuildRun run = testing::heroAndCoinRun();
            const auto a = testing::runWriter(writer, settings, run, folder,
                                              testing::fileNameFor(writer, "a"));
            settings.textFormat = twin;
            run = testing::heroAndCoinRun();
            const auto b = testing::runWriter(writer, settings, run, folder,
                                              testing::fileNameFor(writer, "b"));
            EXPECT_TRUE(a.ok && b.ok);
            EXPECT_EQ(a.text, b.text);
        }
    }
}

// The url is quoted; only what would end the string or the line is escaped.
TEST(Writers, CssBackgroundUrl) {
    struct Case {
        const char* name;
        const char* urlPrefix;
        const char* imageFile;
        const char* background;
    };
    const Case cases[] = {
        {"empty prefix", "", "/images/output/final.png",
         "\tbackground: url('final.png') no-repeat 0px 0px;"},
        {"the folder is never part of it", "imgs/", "/elsewhere/deeper/final.png",
         "\tbackground: url('imgs/final.png') no-repeat 0px 0px;"},
        {"other punctuation as typed", "../a b&<\"%s/", "/o/final.png",
         "\tbackground: url('../a b&<\"%s/final.png') no-repeat 0px 0px;"},
        {"quote and backslash", "it's\\", "/o/final.png",
         "\tbackground: url('it\\'s\\\\final.png') no-repeat 0px 0px;"},
        {"line break", "a\nb/", "/o/final.png",
         "\tbackground: url('a\\a b/final.png') no-repeat 0px 0px;"},
        {"quote in the image name", "imgs/", "/o/it's.png",
         "\tbackground: url('imgs/it\\'s.png') no-repeat 0px 0px;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobSettings settings = testing::exampleSettings();
        settings.cssUrlPrefix = c.urlPrefix;
        settings.outputImageFile = c.imageFile;
        BuildRun run = testing::heroRun();
        TempDir folder;
        const auto result = testing::runWriter(writeCssRects, settings, run, folder, "r.css");
        ASSERT_TRUE(result.ok);
        const auto lines = linesOf(result.text);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[1], c.background);
    }
}

// Rectangles at the ends of the 32-bit range: sizes and negated positions are
// written as the numbers they are, not wrapped.
TEST(Writers, ExtremeRectanglesDoNotWrap) {
    JobSettings settings = testing::exampleSettings();
    const auto extremeRun = [] {
        BuildRun run = testing::heroRun();
        run.placedRects = {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}};
        return run;
    };
    TempDir folder;
    BuildRun run = extremeRun();
    const auto plain = testing::runWriter(writePlainTextRects, settings, run, folder, "r.txt");
    EXPECT_EQ(linesOf(plain.text).at(2),
              "hero = \"-2147483648 -2147483648 4294967296 4294967296\"");
    run = extremeRun();
    const auto css = testing::runWriter(writeCssRects, settings, run, folder, "r.css");
    EXPECT_EQ(linesOf(css.text).at(1),
              "\tbackground: url('imgs/final.png') no-repeat 2147483648px 2147483648px;");
    EXPECT_EQ(linesOf(css.text).at(2), "\twidth: 4294967296px;");
    run = extremeRun();
    const auto json = testing::runWriter(writeJsonRects, settings, run, folder, "r.json");
    EXPECT_TRUE(json.ok);
}

// A writer that refuses leaves the previous file and the run's names as they
// were, and no temporary file behind.
TEST(Writers, RefusalsLeaveEverythingUntouched) {
    struct Case {
        const char* name;
        Writer writer;
        void (*spoil)(JobSettings&, BuildRun&);
        bool written;
    };
    const auto hugeTabs = [](JobSettings& s, BuildRun&) {
        s.convertTabs = 1;
        s.tabSize = 65537;
    };
    const auto maxTabs = [](JobSettings& s, BuildRun&) {
        s.convertTabs = 1;
        s.tabSize = 65536;
    };
    const auto farIndex = [](JobSettings&, BuildRun& r) { r.placedFileIndices = {5}; };
    const auto negativeIndex = [](JobSettings&, BuildRun& r) { r.placedFileIndices = {-1}; };
    const auto noIndex = [](JobSettings&, BuildRun& r) { r.placedFileIndices.clear(); };
    const auto shortSizes = [](JobSettings&, BuildRun& r) { r.originalSizes.clear(); };
    const auto noName = [](JobSettings&, BuildRun& r) { r.placedNames.clear(); };
    const auto uvNoWidth = [](JobSettings& s, BuildRun&) {
        s.textFormat = 4;
        s.outputWidth = 0;
    };
    const auto uvNoHeight = [](JobSettings& s, BuildRun&) {
        s.textFormat = 4;
        s.outputHeight = 0;
    };
    const auto noWidth = [](JobSettings& s, BuildRun&) {
        s.textFormat = 3;
        s.outputWidth = 0;
    };
    const Case cases[] = {
        {"json: tab size too large", writeJsonRects, hugeTabs, false},
        {"xml: tab size too large", writeXmlRects, hugeTabs, false},
        {"css: tab size too large", writeCssRects, hugeTabs, false},
        {"plain text has no indentation", writePlainTextRects, hugeTabs, true},
        {"json: largest tab size", writeJsonRects, maxTabs, true},
        {"json: file index past the lists", writeJsonRects, farIndex, false},
        {"xml: file index past the lists", writeXmlRects, farIndex, false},
        {"json: negative file index", writeJsonRects, negativeIndex, false},
        {"xml: no file index", writeXmlRects, noIndex, false},
        {"json: per-file list too short", writeJsonRects, shortSizes, false},
        {"plain text reads no file index", writePlainTextRects, farIndex, true},
        {"css reads no file index", writeCssRects, farIndex, true},
        {"plain text: no name", writePlainTextRects, noName, false},
        {"css: no name", writeCssRects, noName, false},
        {"json: no name", writeJsonRects, noName, false},
        {"plain text: uv of width 0", writePlainTextRects, uvNoWidth, false},
        {"json: uv of width 0", writeJsonRects, uvNoWidth, false},
        {"xml: uv of height 0", writeXmlRects, uvNoHeight, false},
        {"css has no rect style", writeCssRects, uvNoWidth, true},
        {"width 0 is harmless without uv", writeJsonRects, noWidth, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobSettings settings = testing::exampleSettings();
        BuildRun run = testing::heroRun();
        c.spoil(settings, run);
        const std::vector<std::string> names = run.placedNames;
        TempDir folder;
        const std::string fileName = testing::fileNameFor(c.writer);
        testing::writeFile(folder.file(fileName), "old");
        const auto result = testing::runWriter(c.writer, settings, run, folder, fileName);
        EXPECT_EQ(result.ok, c.written);
        EXPECT_EQ(filesIn(folder), 1u);
        if (!c.written) {
            EXPECT_EQ(result.error, EINVAL);
            EXPECT_EQ(result.text, "old");
            EXPECT_EQ(run.placedNames, names);
        } else {
            EXPECT_NE(result.text, "old");
        }
    }
}

TEST(Writers, MissingFolderWritesNothing) {
    for (const Writer writer :
         {writePlainTextRects, writeJsonRects, writeXmlRects, writeCssRects}) {
        TempDir folder;
        JobSettings settings = testing::exampleSettings();
        settings.outputTextFile = folder.file("missing/r.json");
        BuildRun run = testing::heroRun();
        int error = 0;
        EXPECT_FALSE(writer(settings, run, &error));
        EXPECT_EQ(error, ENOENT);
        EXPECT_EQ(filesIn(folder), 0u);
        // Names are prepared only once the file is open.
        EXPECT_EQ(run.placedNames, std::vector<std::string>{"hero.png"});
    }
}

// Holds the process's file size limit low and ignores the signal that would
// otherwise end the process, so a write fails the way a full disk makes it fail.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, savedHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    sighandler_t savedHandler_ = SIG_DFL;
};

TEST(Writers, ShortWriteIsAFailure) {
    const auto manyRun = [] {
        BuildRun run;
        for (std::int32_t i = 0; i < 2000; ++i) {
            run.originalSizes.push_back({8, 8});
            run.trimOffsets.push_back({0, 0});
            run.placedRects.push_back({i, 0, i + 7, 7});
            run.placedNames.push_back("sprite" + std::to_string(i) + ".png");
            run.placedFileIndices.push_back(i);
        }
        return run;
    };
    for (const Writer writer :
         {writePlainTextRects, writeJsonRects, writeXmlRects, writeCssRects}) {
        TempDir folder;
        JobSettings settings = testing::exampleSettings();
        settings.outputTextFile = folder.file(testing::fileNameFor(writer));
        testing::writeFile(settings.outputTextFile, "old");
        BuildRun run = manyRun();
        bool written = true;
        int error = 0;
        {
            const FileSizeLimit limit(16 * 1024);
            written = writer(settings, run, &error);
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(error, EFBIG);
        EXPECT_EQ(testing::readFile(settings.outputTextFile), "old");
        EXPECT_EQ(filesIn(folder), 1u);
    }
}

}  // namespace
}  // namespace tilvane
