#include <gtest/gtest.h>

#include "tests/textout/writer_harness.h"
#include "textout/text_writers.h"

namespace tilvane {
namespace {

using testing::TempDir;
using testing::Writer;

// One golden file of tests/textout/golden/: the writer, the run it describes
// and the settings that differ between the examples; the rest are defaults.
struct GoldenCase {
    const char* golden;
    Writer writer;
    BuildRun (*run)();
    std::int32_t textFormat;
    std::int32_t changeCase;
    const char* postfix;
    std::int32_t convertTabs;
    std::uint32_t tabSize;
};

using testing::emptyRun;
using testing::heroAndCoinBigRun;
using testing::heroAndCoinRun;
using testing::heroRun;

// A textFormat of -1 is what an edited drop-down box gives during a build.
// clang-format off
const GoldenCase kGoldenCases[] = {
    // golden file                          writer               run                style case postfix tabs size
    {"plain_example_style0.txt",            writePlainTextRects, heroAndCoinBigRun,  0,   1,   ";",    0,   4},
    {"plain_example_style3.txt",            writePlainTextRects, heroAndCoinBigRun,  3,   1,   ";",    0,   4},
    {"plain_example_style4.txt",            writePlainTextRects, heroAndCoinBigRun,  4,   1,   ";",    0,   4},
    {"plain_empty.txt",                     writePlainTextRects, emptyRun,           0,   0,   "",     0,   4},
    {"plain_empty.txt",                     writePlainTextRects, heroAndCoinBigRun, -1,   0,   "",     0,   4},
    {"json_example.json",                   writeJsonRects,      heroRun,            0,   0,   "",     0,   4},
    {"json_empty.json",                     writeJsonRects,      emptyRun,           0,   0,   "",     0,   4},
    {"json_tab_size_0.json",                writeJsonRects,      heroRun,            0,   0,   "",     1,   0},
    {"json_two_entries_tab_size_2.json",    writeJsonRects,      heroAndCoinRun,     4,   0,   "",     1,   2},
    {"json_format_out_of_range.json",       writeJsonRects,      heroRun,            5,   0,   "",     0,   4},
    {"xml_example.xml",                     writeXmlRects,       heroRun,            2,   2,   "",     1,   4},
    {"xml_empty.xml",                       writeXmlRects,       emptyRun,           0,   0,   "",     0,   4},
    {"xml_tab_size_0.xml",                  writeXmlRects,       heroRun,            2,   0,   "",     1,   0},
    {"xml_two_entries_tab_size_2.xml",      writeXmlRects,       heroAndCoinRun,     0,   0,   "",     1,   2},
    {"xml_format_out_of_range.xml",         writeXmlRects,       heroRun,           -1,   0,   "",     1,   4},
    {"css_example.css",                     writeCssRects,       heroAndCoinRun,     0,   0,   "",     0,   4},
    {"css_example.css",                     writeCssRects,       heroAndCoinRun,    -1,   0,   "",     0,   4},
    {"css_empty.css",                       writeCssRects,       emptyRun,           0,   0,   "",     0,   4},
    {"css_tab_size_0.css",                  writeCssRects,       heroRun,            0,   0,   "",     1,   0},
    {"css_tab_size_2.css",                  writeCssRects,       heroAndCoinRun,     0,   0,   "",     1,   2},
};
// clang-format on

TEST(GoldenFiles, WritersReproduceTheirGoldenFiles) {
    const std::string goldenFolder = TILVANE_SOURCE_DIR "/tests/textout/golden/";
    for (const GoldenCase& c : kGoldenCases) {
        SCOPED_TRACE(c.golden);
        const std::string expected = testing::readFile(goldenFolder + c.golden);
        ASSERT_TRUE(std::filesystem::exists(goldenFolder + c.golden));
        JobSettings settings = testing::exampleSettings();
        settings.textFormat = c.textFormat;
        settings.changeCase = c.changeCase;
        settings.namePostfix = c.postfix;
        settings.convertTabs = c.convertTabs;
        settings.tabSize = c.tabSize;
        BuildRun run = c.run();
        TempDir folder;
        const testing::WriteResult result =
            testing::runWriter(c.writer, settings, run, folder, c.golden);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.text, expected);
    }
}

}  // namespace
}  // namespace tilvane
