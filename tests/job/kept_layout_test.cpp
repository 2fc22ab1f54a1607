#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "job/input_changes.h"
#include "job/layout_file.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {
namespace {

// A layout text with one 64x32 page and the given sprite lines (JSON
// objects, comma-separated), unless a row replaces the whole text.
std::string layoutText(const std::string& sprites,
                       const std::string& pages = "{\"w\":64,\"h\":32}") {
    return "{\"format\":\"tilvane-layout\",\"version\":1,\"rules\":{\"spacing\":1,\"extrude\":0,"
           "\"border\":1,\"gridX\":0,\"gridY\":0},\"pages\":[" +
           pages + "],\"sprites\":[" + sprites + "]}";
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

const std::string kSprite = "{\"key\":\"a.png\",\"page\":0,\"x\":1,\"y\":1,\"w\":5,\"h\":6}";

// A layout of one 1x1 sprite "a" at (0, 0), with `from` in its line made `to`.
std::string oneWith(const std::string& from, const std::string& to) {
    return layoutText(
        replaced("{\"key\":\"a\",\"page\":0,\"x\":0,\"y\":0,\"w\":1,\"h\":1}", from, to));
}

// Every value of the file is checked; what is not understood is refused with
// a reason, never guessed at.
TEST(LayoutFile, ReadsOnlyWhatItCanCheck) {
    struct Row {
        const char* name;
        std::string text;
        // Empty: read; else a word of the reason.
        std::string refusal;
    };
    const std::string max = "2147483647";
    const std::vector<Row> rows = {
        {"one sprite", layoutText(kSprite), ""},
        {"no sprites", layoutText(""), ""},
        {"unknown fields are ignored", layoutText(kSprite).insert(1, "\"more\":[1,2],"), ""},
        {"a key not valid UTF-8 in hex", oneWith("\"key\":\"a\"", "\"keyHex\":\"61ff2e706e67\""),
         ""},
        {"the largest place and size",
         replaced(oneWith("\"x\":0", "\"x\":" + max), "\"w\":1", "\"w\":" + max), ""},
        {"cut short", layoutText(kSprite).substr(0, 40), "JSON"},
        {"an array", "[1,2]", "object"},
        {"another format", "{\"format\":\"other\"}", "format"},
        {"version 2", replaced(layoutText(kSprite), "\"version\":1", "\"version\":2"), "version"},
        {"a negative rule", replaced(layoutText(kSprite), "\"spacing\":1", "\"spacing\":-1"),
         "rule"},
        {"a rule missing", replaced(layoutText(kSprite), "\"border\":1,", ""), "rule"},
        {"no pages", layoutText("", ""), "pages"},
        {"a page of width 0", layoutText("", "{\"w\":0,\"h\":32}"), "page"},
        {"a page wider than 2^31 - 1", layoutText("", "{\"w\":2147483648,\"h\":32}"), "page"},
        {"a page size as text", layoutText("", "{\"w\":\"64\",\"h\":32}"), "page"},
        {"a fractional size", layoutText("", "{\"w\":6.5,\"h\":32}"), "page"},
        {"a sprite on a page that is not there", oneWith("\"page\":0", "\"page\":1"), "place"},
        {"a negative place", oneWith("\"x\":0", "\"x\":-1"), "place"},
        {"a sprite without a key", oneWith("\"key\":\"a\",", ""), "key"},
        {"an empty key", oneWith("\"a\"", "\"\""), "key"},
        {"a key of odd hex", oneWith("\"key\":\"a\"", "\"keyHex\":\"616\""), "key"},
        {"a key longer than 4096 bytes", oneWith("\"a\"", "\"" + std::string(4097, 'k') + "\""),
         "key"},
        {"a key twice", layoutText(kSprite + "," + kSprite), "twice"},
        {"a turn that is no boolean", oneWith("\"h\":1", "\"h\":2,\"turned\":1"), "turn"},
        {"deeply nested", std::string(100000, '[') + std::string(100000, ']'), "object"},
    };
    for (const Row& row : rows) {
        std::string problem;
        const std::optional<LayoutRecord> record = parseLayout(row.text, &problem);
        EXPECT_EQ(record.has_value(), row.refusal.empty()) << row.name << ": " << problem;
        if (!row.refusal.empty()) {
            EXPECT_NE(problem.find(row.refusal), std::string::npos) << row.name << ": " << problem;
        }
    }
}

// What is written reads back as it was, keys of any bytes included.
TEST(LayoutFile, WrittenRecordReadsBackTheSame) {
    LayoutRecord record;
    record.rules = {3, 2, {4, 8, 16}};
    record.pages = {{256, 128}, {64, 64}};
    record.sprites = {{"walk/01.png", 0, {12, 9}, {4, 8}},
                      {std::string("a\xff\"\n.png", 8), 1, {1, 1}, {63, 0}},
                      {"\xc3\xa9t\xc3\xa9.png", 1, {7, 9}, {0, 0}, true}};
    std::string problem;
    const std::optional<LayoutRecord> back = parseLayout(formatLayout(record), &problem);
    ASSERT_TRUE(back) << problem;
    EXPECT_EQ(back->sprites, record.sprites);
    EXPECT_EQ(back->pages, record.pages);
    EXPECT_EQ(back->rules.spacing, 3u);
    EXPECT_EQ(back->rules.placement.gridAlignY, 16u);
}

// Only a regular file within the size limit is read; a missing one is no
// layout at all, anything else a reason.
TEST(LayoutFile, ReadsOnlyARegularFileOfBoundedSize) {
    TempDir dir;
    writeFile(dir.file("good.json"), layoutText(kSprite));
    writeFile(dir.file("big.json"), std::string(kMaxLayoutFileBytes + 1, ' '));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const std::tuple<const char*, std::string, LayoutFileRead::State> rows[] = {
        {"a good file", dir.file("good.json"), LayoutFileRead::State::read},
        {"no file", dir.file("none.json"), LayoutFileRead::State::absent},
        {"a folder", dir.folder(), LayoutFileRead::State::unusable},
        {"a FIFO, never waited on", dir.file("fifo"), LayoutFileRead::State::unusable},
        {"larger than the limit", dir.file("big.json"), LayoutFileRead::State::unusable},
    };
    for (const auto& [name, path, state] : rows) {
        const LayoutFileRead read = readLayoutFile(path);
        EXPECT_EQ(read.state, state) << name << ": " << read.problem;
        EXPECT_EQ(read.problem.empty(), state != LayoutFileRead::State::unusable) << name;
    }
}

// Changes between two snapshots by name and stamp, and the words for them.
TEST(InputChanges, ComparedByNameAndStamp) {
    const auto stamp = [](std::int64_t modified) { return FileStamp{1, 2, 3, modified, modified}; };
    const std::tuple<const char*, InputSnapshot, InputSnapshot, std::string> rows[] = {
        {"nothing", {{"a.png", stamp(1)}}, {{"a.png", stamp(1)}}, ""},
        {"one of each",
         {{"a.png", stamp(1)}, {"b.png", stamp(1)}, {"c.png", stamp(1)}},
         {{"a.png", stamp(2)}, {"c.png", stamp(1)}, {"d.png", stamp(1)}},
         "1 added (d.png), 1 changed (a.png), 1 removed (b.png)"},
        {"only the change time moved",
         {{"a.png", stamp(1)}},
         {{"a.png", FileStamp{1, 2, 3, 1, 5}}},
         "1 changed (a.png)"},
        {"from nothing, four names shown as three",
         {},
         {{"a.png", stamp(1)}, {"b.png", stamp(1)}, {"c.png", stamp(1)}, {"d/e.png", stamp(1)}},
         "4 added (a.png, b.png, c.png, ...)"},
        {"all gone", {{"a.png", stamp(1)}, {"z.png", stamp(1)}}, {}, "2 removed (a.png, z.png)"},
    };
    for (const auto& [name, before, after, words] : rows) {
        const InputChanges changes = compareSnapshots(before, after);
        EXPECT_EQ(changes.none(), words.empty()) << name;
        EXPECT_EQ(describeChanges(changes), words) << name;
    }
}

// A snapshot holds the input images the build would read, nothing else: not
// the outputs, their temporaries or the layout file beside them.
TEST(InputChanges, SnapshotHoldsOnlyInputImages) {
    TempDir dir;
    for (const char* name : {"a.png", "b.TGA", "layout.json", "atlas.txt", ".tilvane-0123456789"})
        writeFile(dir.file(name), "x");
    std::filesystem::create_directory(dir.file("sub"));
    writeFile(dir.file("sub/c.png"), "x");
    const auto names = [](const InputSnapshot& s) {
        std::string text;
        for (const auto& [name, stamp] : s) text += name + " ";
        return text;
    };
    EXPECT_EQ(names(snapshotInputs(dir.folder(), false)), "a.png b.TGA ");
    EXPECT_EQ(names(snapshotInputs(dir.folder(), true)), "a.png b.TGA sub/c.png ");
    EXPECT_TRUE(mayBeInput("walk.bmp"));
    EXPECT_FALSE(mayBeInput("atlas.json"));
}

}  // namespace
}  // namespace tilvane::testing
