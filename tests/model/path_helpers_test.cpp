#include "model/path_helpers.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

TEST(PathHelpers, EnsureTrailingSlash) {
    const std::pair<const char*, const char*> cases[] = {
        {"/img", "/img/"},
        {"/img/", "/img/"},
        {"C:/img/", "C:/img/"},
        {"C:\\img\\", "C:\\img\\"},  // either separator counts as a trailing one
        {"", "/"},
        {"relative", "relative/"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(ensureTrailingSlash(in), out) << in;
}

TEST(PathHelpers, FolderAndFileName) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"/a/b.png", "/a/", "b.png"},
        {"b.png", "", "b.png"},
        {"/a/", "/a/", ""},
        {"/images/output/final.png", "/images/output/", "final.png"},
        {"dir\\b.png", "", "dir\\b.png"},  // a backslash is a file-name character here
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(folderOfPath(c.path), c.folder);
        EXPECT_EQ(fileNameOf(c.path), c.name);
    }
}

TEST(PathHelpers, SplitPath) {
    const PathParts parts = splitPath("/out/atlas.v2.png");
    EXPECT_EQ(parts.folder, "/out/");
    EXPECT_EQ(parts.baseName, "atlas.v2");
    EXPECT_EQ(parts.extension, ".png");
    const PathParts bare = splitPath("sheet");
    EXPECT_EQ(bare.folder, "");
    EXPECT_EQ(bare.baseName, "sheet");
    EXPECT_EQ(bare.extension, "");
}

TEST(PathHelpers, TypeIndexOfPath) {
    EXPECT_EQ(typeIndexOfPath("rects.JSON", kTextFileExtensions, 0), 2);
    EXPECT_EQ(typeIndexOfPath("/a.b/file", kTextFileExtensions, 7), 7);
    EXPECT_EQ(typeIndexOfPath("", kTextFileExtensions, 0), -1);
    EXPECT_EQ(typeIndexOfPath("x.tga", kOutputImageExtensions, 1), 5);
    EXPECT_EQ(typeIndexOfPath("x.jpeg", kOutputImageExtensions, 1), 1);
}

TEST(PathHelpers, FolderAndFileExistence) {
    testing::TempDir dir;
    testing::writeFile(dir.file("f.png"), "x");
    EXPECT_TRUE(folderExists(dir.folder()));
    EXPECT_TRUE(folderExists(dir.path().string()));
    EXPECT_FALSE(folderExists(""));
    EXPECT_FALSE(folderExists(dir.file("missing") + "/"));
    EXPECT_FALSE(folderExists(dir.file("f.png")));  // a file is no folder
    EXPECT_TRUE(fileExists(dir.file("f.png")));
    EXPECT_TRUE(fileExists(dir.folder()));
    EXPECT_FALSE(fileExists(dir.file("missing")));
}

TEST(PathHelpers, TrimAndCase) {
    EXPECT_EQ(trimWhiteSpace("  \t/a b/ \r\n"), "/a b/");
    EXPECT_EQ(trimWhiteSpace(" \t "), "");
    // Multi-byte characters pass through untouched.
    EXPECT_EQ(toUpperAscii("sprite_\xC3\xA9.png"), "SPRITE_\xC3\xA9.PNG");
    EXPECT_EQ(toLowerAscii("ABC\xC3\x89"), "abc\xC3\x89");
    EXPECT_LT(compareNoCase("A.png", "b.png"), 0);
    EXPECT_EQ(compareNoCase("ABC", "abc"), 0);
    EXPECT_GT(compareNoCase("abcd", "ABC"), 0);
}

}  // namespace
}  // namespace tilvane
