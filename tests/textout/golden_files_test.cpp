#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/textout/writer_harness.h"
#include "textout/text_writers.h"

namespace tilvane {
namespace {

using testing::Formatter;

// One golden file of tests/textout/golden/: the writer, the run it describes
// and the settings that differ between the examples; the rest are defaults.
struct GoldenCase {
    const char* golden;
    Formatter writer;
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
    {"plain_example_style0.txt",            formatPlainTextRects, heroAndCoinBigRun,  0,   1,   ";",    0,   4},
    {"plain_example_style3.txt",            formatPlainTextRects, heroAndCoinBigRun,  3,   1,   ";",    0,   4},
    {"plain_example_style4.txt",            formatPlainTextRects, heroAndCoinBigRun,  4,   1,   ";",    0,   4},
    {"plain_empty.txt",                     formatPlainTextRects, emptyRun,           0,   0,   "",     0,   4},
    {"plain_empty.txt",                     formatPlainTextRects, heroAndCoinBigRun, -1,   0,   "",     0,   4},
    {"json_example.json",                   formatJsonRects,     heroRun,            0,   0,   "",     0,   4},
    {"json_empty.json",                     formatJsonRects,     emptyRun,           0,   0,   "",     0,   4},
    {"json_tab_size_0.json",                formatJsonRects,     heroRun,            0,   0,   "",     1,   0},
    {"json_two_entries_tab_size_2.json",    formatJsonRects,     heroAndCoinRun,     4,   0,   "",     1,   2},
    {"json_format_out_of_range.json",       formatJsonRects,     heroRun,            5,   0,   "",     0,   4},
    {"xml_example.xml",                     formatXmlRects,      heroRun,            2,   2,   "",     1,   4},
    {"xml_empty.xml",                       formatXmlRects,      emptyRun,           0,   0,   "",     0,   4},
    {"xml_tab_size_0.xml",                  formatXmlRects,      heroRun,            2,   0,   "",     1,   0},
    {"xml_two_entries_tab_size_2.xml",      formatXmlRects,      heroAndCoinRun,     0,   0,   "",     1,   2},
    {"xml_format_out_of_range.xml",         formatXmlRects,      heroRun,           -1,   0,   "",     1,   4},
    {"css_example.css",                     formatCssRects,      heroAndCoinRun,     0,   0,   "",     0,   4},
    {"css_example.css",                     formatCssRects,      heroAndCoinRun,    -1,   0,   "",     0,   4},
    {"css_empty.css",                       formatCssRects,      emptyRun,           0,   0,   "",     0,   4},
    {"css_tab_size_0.css",                  formatCssRects,      heroRun,            0,   0,   "",     1,   0},
    {"css_tab_size_2.css",                  formatCssRects,      heroAndCoinRun,     0,   0,   "",     1,   2},
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
        const std::optional<std::string> text = testing::format(c.writer, settings, c.run());
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, expected);
    }
}

}  // namespace
}  // namespace tilvane
