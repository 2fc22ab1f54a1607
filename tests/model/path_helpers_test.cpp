#include "model/path_helpers.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

TEST(PathHelpers, SplitsPaths) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        const char* withSlash;
    };
    const Case cases[] = {
        {"/a/b.png", "/a/", "b.png", "/a/b.png/"},
        {"b.png", "", "b.png", "b.png/"},
        {"/a/", "/a/", "", "/a/"},
        {"dir\\b.png", "", "dir\\b.png", "dir\\b.png/"},  // a backslash belongs to the name
        {"C:\\img\\", "", "C:\\img\\", "C:\\img\\"},      // but either counts as a trailing one
        {"", "", "", "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(folderOfPath(c.path), c.folder);
        EXPECT_EQ(fileNameOf(c.path), c.name);
        EXPECT_EQ(ensureTrailingSlash(c.path), c.withSlash);
    }
    const PathParts parts = splitPath("/out/atlas.v2.png");
    EXPECT_EQ(parts.folder + "|" + parts.baseName + "|" + parts.extension, "/out/|atlas.v2|.png");
    EXPECT_EQ(typeIndexOfPath("rects.JSON", kTextFileExtensions, 0), 2);
    EXPECT_EQ(typeIndexOfPath("/a.b/file", kTextFileExtensions, 7), 7);
    EXPECT_EQ(typeIndexOfPath("", kTextFileExtensions, 0), -1);
    EXPECT_EQ(typeIndexOfPath("x.jpeg", kOutputImageExtensions, 1), 1);
}

TEST(PathHelpers, FolderAndFileExistence) {
    testing::TempDir dir;
    testing::writeFile(dir.file("f.png"), "x");
    EXPECT_TRUE(folderExists(dir.path().string()));
    EXPECT_FALSE(folderExists(""));
    EXPECT_FALSE(folderExists(dir.file("f.png")));  // a file is no folder
    EXPECT_TRUE(fileExists(dir.folder()));
    EXPECT_FALSE(fileExists(dir.file("missing")));
}

TEST(PathHelpers, TrimAndCase) {
    EXPECT_EQ(trimWhiteSpace(" \v\f\t/a b/ \r\n"), "/a b/");
    EXPECT_EQ(trimWhiteSpace(" \t "), "");
    // Multi-byte characters pass through untouched.
    EXPECT_EQ(toUpperAscii("sprite_\xC3\xA9.png"), "SPRITE_\xC3\xA9.PNG");
    EXPECT_LT(compareNoCase("A.png", "b.png"), 0);
    EXPECT_EQ(compareNoCase("ABC", "abc"), 0);
    EXPECT_GT(compareNoCase("abcd", "ABC"), 0);
    EXPECT_LT(compareNoCase("ab", "ABC"), 0);
}

}  // namespace
}  // namespace tilvane
