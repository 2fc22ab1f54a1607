#include "cli/option_docs.h"

#include <gtest/gtest.h>

namespace tilvane {
namespace {

TEST(OptionDocs, ValueNamesGiveTheWordsAShellOffers) {
    struct Row {
        const char* name;
        const char* valueName;
        ValueCompletion kind;
        std::vector<std::string> words;
    };
    const std::vector<Row> rows = {
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
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(valueCompletionOf(row.valueName), row.kind);
        EXPECT_EQ(valueChoices(row.valueName), row.words);
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
    struct Row {
        const char* name;
        std::string document;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"man page", packManPage(table, "1.0"),
         "\\fB\\-\\-odd\\fR \\fIS\\fR\n\\&.dot first, C:\\edir, it's [x]: ok. Second sentence.\n"
         "Default: \"\".\n"},
        {"bash", packBashCompletion(table), "words='--odd'"},
        {"zsh", packZshCompletion(table),
         "'--odd=[.dot first, C\\:\\\\dir, it'\\''s \\[x\\]\\: ok.]:S: '"},
        {"fish", packFishCompletion(table),
         "-l odd -x -d '.dot first, C:\\\\dir, it\\'s [x]: ok.'\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NE(row.document.find(row.expected), std::string::npos) << row.document;
    }
}

}  // namespace
}  // namespace tilvane
