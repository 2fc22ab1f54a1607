#include "job/page_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(PageFiles, PageFilePathNumbersTheFileName) {
    EXPECT_EQ(pageFilePath("atlas.json", 2), "atlas-2.json");
    // The extension is the file name's last dot; a folder's dot is none.
    EXPECT_EQ(pageFilePath("out.d/atlas.tar.gz", 1), "out.d/atlas.tar-1.gz");
    EXPECT_EQ(pageFilePath("out.d/atlas", 1), "out.d/atlas-1");
}

// This run wrote one page, atlas-1.png and atlas-1.json (or .atlas); the
// rows' files, "name=content" joined by "; " ("name -> target" a link,
// "name/" a folder), are what an earlier run left. Every other file stays as
// it was.
TEST(PageFiles, RemovesOnlyStalePagesWhoseTextNamesTheirImage) {
    const std::string notNamed = "atlas-2.png unnamed, atlas-2.json unnamed";
    const std::string notRegular = "atlas-2.png not regular, atlas-2.json not regular";
    // 64 KiB with "xxxx", the pieces the text is read in.
    const std::string spaces(65536 - 4, ' ');
    struct Row {
        const char* name;
        std::string files, removed = {}, left = {}, textExtension = ".json";
    };
    const std::vector<Row> rows = {
        {"pages 2 and 3 with a mask",
         R"(atlas-2.png=i; atlas-2_mask.png=m; atlas-2.json={"meta": {"image": "atlas-2.png"}};)"
         R"( atlas-3.png=i; atlas-3.json={"meta":{"image":"atlas-3.png"}})",
         "atlas-2.png, atlas-2_mask.png, atlas-2.json, atlas-3.png, atlas-3.json"},
        {"libGDX first line, CRLF", "atlas-2.png=i; atlas-2.atlas=atlas-2.png\r\nsize: 4,4\r\n",
         "atlas-2.png, atlas-2.atlas", "", ".atlas"},
        {"a relative path at the end", "atlas-2.png=i; atlas-2.json=url(../out/atlas-2.png)",
         "atlas-2.png, atlas-2.json"},
        {"a text without its image", R"(atlas-2.json="atlas-2.png")", "atlas-2.json"},
        {"a text naming another image", R"(atlas-2.png=i; atlas-2.json={"image": "other-2.png"})",
         "", notNamed},
        {"names that only contain it",
         "atlas-2.png=i; atlas-2.json=xatlas-2.png atlas-2.png.bak atlas-2.pngx", "", notNamed},
        // The walk goes on past a page it keeps.
        {"an image without text", "atlas-2.png=i; atlas-3.png=i; atlas-3.json=atlas-3.png",
         "atlas-3.png, atlas-3.json", "atlas-2.png unnamed"},
        {"a linked image", "atlas-2.png -> real.png; real.png=i; atlas-2.json=atlas-2.png", "",
         notRegular},
        {"a folder at the image's name", "atlas-2.png/; atlas-2.json=atlas-2.png", "", notRegular},
        {"a gap ends the walk", "atlas-3.png=i; atlas-3.json=atlas-3.png"},
        {"a mask alone is a gap", "atlas-2_mask.png=m; atlas-3.png=i; atlas-3.json=atlas-3.png"},
        {"a name across two pieces", "atlas-2.png=i; atlas-2.json=" + spaces + "atlas-2.png",
         "atlas-2.png, atlas-2.json"},
        {"a name character before it, in the piece before",
         "atlas-2.png=i; atlas-2.json=" + spaces + "xxxxatlas-2.png ", "", notNamed},
    };
    const char* const whyNames[] = {"unnamed", "not regular", "remove failed"};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string image = dir.file("atlas.png");
        const std::string text = dir.file("atlas" + row.textExtension);
        writeFile(pageFilePath(image, 1), "page 1");
        writeFile(pageFilePath(text, 1), "atlas-1.png");
        for (std::size_t at = 0; at < row.files.size();) {
            const std::size_t end = std::min(row.files.find("; ", at), row.files.size());
            const std::string entry = row.files.substr(at, end - at);
            const std::size_t arrow = entry.find(" -> "), equals = entry.find('=');
            if (arrow != std::string::npos)
                fs::create_symlink(entry.substr(arrow + 4), dir.file(entry.substr(0, arrow)));
            else if (equals == std::string::npos)
                fs::create_directory(dir.file(entry));
            else
                writeFile(dir.file(entry.substr(0, equals)), entry.substr(equals + 1));
            at = end + 2;
        }
        auto after = folderSnapshot(dir.path());
        const StalePageCleanup cleanup = removeStaleSiblingPages(image, text, 1);
        std::string removed, left;
        for (const std::string& path : cleanup.removed) {
            removed += (removed.empty() ? "" : ", ") + fs::path(path).filename().string();
            EXPECT_EQ(after.erase(path), 1u) << path;
        }
        for (const LeftPageFile& file : cleanup.left)
            left += (left.empty() ? "" : ", ") + fs::path(file.path).filename().string() + " " +
                    whyNames[static_cast<int>(file.why)];
        EXPECT_EQ(removed, row.removed);
        EXPECT_EQ(left, row.left);
        EXPECT_EQ(folderSnapshot(dir.path()), after);
    }
}

}  // namespace
}  // namespace tilvane::testing
