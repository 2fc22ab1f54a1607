#include "cli/option_docs.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tilvane {
namespace {

using Words = std::vector<std::string>;

TEST(OptionDocs, ValueNamesGiveTheWordsAShellOffers) {
    // Name, value name, its completion and the words offered.
    const std::vector<std::tuple<const char*, const char*, ValueCompletion, Words>> rows = {
        {"flag", "", ValueCompletion::none, {}},
        {"file", "FILE", ValueCompletion::file, {}},
        {"folder", "DIR", ValueCompletion::folder, {}},
        {"number", "N", ValueCompletion::freeText, {}},
        {"named choices", "name|size|random", ValueCompletion::choices, {"name", "size", "random"}},
        {"numeric choices", "0|9|13", ValueCompletion::choices, {"0", "9", "13"}},
        {"range", "0..4", ValueCompletion::choices, {"0", "1", "2", "3", "4"}},
        {"range too wide to list", "0..100", ValueCompletion::freeText, {}},
        {"range backwards", "4..0", ValueCompletion::freeText, {}},
        {"range not numbers", "a..z", ValueCompletion::freeText, {}},
        {"empty choice", "a||b", ValueCompletion::freeText, {}},
        {"choice with a blank", "a b|c", ValueCompletion::freeText, {}},
    };
    for (const auto& [name, valueName, kind, words] : rows) {
        EXPECT_EQ(valueCompletionOf(valueName), kind) << name;
        EXPECT_EQ(valueChoices(valueName), words) << name;
    }
}

// Text that roff or a shell would read as its own syntax reaches the reader as
// typed: a line starting with a dot would be a request (and vanish), a
// backslash an escape, a quote would end the shell word.
TEST(OptionDocs, TextIsEscapedForEachReader) {
    const PackOptionTable table{
        "Summary.",
        {{"--odd", "S", ".dot first, C:\\dir, it's [x]: ok. Second sentence.", "\"\""}},
        "Exit status: 0 done."};
    // Reader, the document and what it holds.
    const std::vector<std::tuple<const char*, std::string, const char*>> rows = {
        {"man page", packManPage(table, "1.0"),
         "\\fB\\-\\-odd\\fR \\fIS\\fR\n\\&.dot first, C:\\edir, it's [x]: ok. Second sentence.\n"
         "Default: \"\".\n"},
        {"bash", packBashCompletion(table), "words='--odd'"},
        {"zsh", packZshCompletion(table),
         "'--odd=[.dot first, C\\:\\\\dir, it'\\''s \\[x\\]\\: ok.]:S: '"},
        {"fish", packFishCompletion(table),
         "-l odd -x -d '.dot first, C:\\\\dir, it\\'s [x]: ok.'\n"},
    };
    for (const auto& [reader, document, expected] : rows)
        EXPECT_NE(document.find(expected), std::string::npos) << reader << ": " << document;
}

}  // namespace
}  // namespace tilvane
