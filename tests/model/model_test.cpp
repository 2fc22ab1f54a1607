#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "model/build_run.h"
#include "model/classic_random.h"
#include "model/file_list.h"
#include "model/job_settings.h"
#include "model/number_text.h"
#include "model/path_helpers.h"
#include "model/sprite_values.h"
#include "model/window_services.h"
#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

// Each path as "folder | name | with a trailing separator | base name |
// extension | input image, output image | text type | text table index"
// (the index 9 when the extension is not in the table).
TEST(PathHelpers, SplitAndTypePaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/", "/a/||/a/|||--|0|9"},
        // A backslash belongs to the name, but counts as a trailing separator.
        {"dir\\b.png", "|dir\\b.png|dir\\b.png/|dir\\b|.png|io|0|9"},
        {"C:\\img\\", "|C:\\img\\|C:\\img\\|C:\\img\\||--|0|9"},
        {"", "||/|||--|0|-1"},
        {"/out/atlas.v2.PNG", "/out/|atlas.v2.PNG|/out/atlas.v2.PNG/|atlas.v2|.PNG|io|0|9"},
        {"photo.jpeg", "|photo.jpeg|photo.jpeg/|photo|.jpeg|--|0|9"},
        {"sheet.gif", "|sheet.gif|sheet.gif/|sheet|.gif|i-|0|9"},
        {"sheet.WebP", "|sheet.WebP|sheet.WebP/|sheet|.WebP|io|0|9"},
        {"archive.png.zip", "|archive.png.zip|archive.png.zip/|archive.png|.zip|--|0|9"},
        {".png", "|.png|.png/||.png|io|0|9"},  // the whole name is the extension
        {"/a.json/rects", "/a.json/|rects|/a.json/rects/|rects||--|0|9"},
        {"rects.JSON", "|rects.JSON|rects.JSON/|rects|.JSON|--|2|2"},
        {"/out/r.CSS", "/out/|r.CSS|/out/r.CSS/|r|.CSS|--|3|3"},
    };
    for (const auto& [path, expected] : cases) {
        const PathParts p = splitPath(path);
        EXPECT_EQ(p.folder, folderOfPath(path));
        EXPECT_EQ(folderOfPath(path) + "|" + fileNameOf(path) + "|" + ensureTrailingSlash(path) +
                      "|" + p.baseName + "|" + p.extension + "|" +
                      (isSupportedInputFile(path) ? "i" : "-") +
                      (isSupportedOutputImageFile(path) ? "o" : "-") + "|" +
                      std::to_string(textFileTypeOf(path)) + "|" +
                      std::to_string(typeIndexOfPath(path, kTextFileExtensions, 9)),
                  expected);
    }
}

TEST(PathHelpers, ExistenceTrimAndCase) {
    testing::TempDir dir;
    testing::writeFile(dir.file("f.png"), "x");
    EXPECT_TRUE(folderExists(dir.path().string()));
    EXPECT_FALSE(folderExists(""));
    EXPECT_FALSE(folderExists(dir.file("f.png")));  // a file is no folder
    EXPECT_TRUE(fileExists(dir.folder()));
    EXPECT_FALSE(fileExists(dir.file("missing")));
    EXPECT_EQ(trimWhiteSpace(" \v\f\t/a b/ \r\n"), "/a b/");
    // Multi-byte characters pass through untouched.
    EXPECT_EQ(toUpperAscii("sprite_\xC3\xA9.png"), "SPRITE_\xC3\xA9.PNG");
    // FileList's order pins the case folding; this, a shorter name first.
    EXPECT_LT(compareNoCase("ab", "ABC"), 0);
}

// The dialog's edits and tilvane-pack's options read numbers alike; the
// signed reading takes one sign before the digits.
TEST(NumberText, TrimmedPlainDecimal) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> asUnsigned;
        std::optional<std::int32_t> asSigned;
    };
    const auto no = std::nullopt;
    const std::int32_t min = INT32_MIN;
    const std::uint32_t big = 2147483648u, max = 4294967295u;
    const std::vector<Case> cases = {
        {"-2147483648", no, min}, {"2147483648", big, no}, {"4294967295", max, no}, {"0", 0u, 0},
        {" 512\t", 512u, 512},    {"\r\n256 ", 256u, 256}, {"010", 10u, 10},        {"+7", no, 7},
        {" -7 ", no, -7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseUnsignedDecimal(c.text), c.asUnsigned) << c.text;
        EXPECT_EQ(parseSignedDecimal(c.text), c.asSigned) << c.text;
    }
    for (const char* text :
         {"4294967296", "", " \t", "1+", "7-", "1 2", "- 7", "-", "1x", "0x10"}) {
        EXPECT_FALSE(parseUnsignedDecimal(text) || parseSignedDecimal(text)) << text;
    }
}

// --pivot reads two decimal numbers; what it writes back reads as the same pivot.
TEST(NumberText, PivotPairs) {
    const std::vector<std::pair<const char*, std::optional<Pivot>>> cases = {
        {"0.5,1", Pivot{0.5, 1}},    {" -0.25 , +2 ", Pivot{-0.25, 2}},
        {"1e-3,0", Pivot{0.001, 0}}, {"1000,-1000", Pivot{1000, -1000}},
        {"1000.5,0", std::nullopt},  {"nan,0", std::nullopt},
        {"inf,0", std::nullopt},     {"0x1,0", std::nullopt},
        {"0.5", std::nullopt},       {"0.5,1,2", std::nullopt},
        {",1", std::nullopt},        {"+-1,0", std::nullopt},
        {"1 2,0", std::nullopt},
    };
    for (const auto& [text, pivot] : cases) {
        EXPECT_EQ(parsePivotText(text), pivot) << text;
        if (pivot) {
            EXPECT_EQ(parsePivotText(pivotText(*pivot)), pivot) << text;
        }
    }
    EXPECT_EQ(pivotText({0.1, -3}), "0.1,-3");
}

// --scale and --variant read a plain decimal fraction, and write it back as
// the shortest text that reads as the same number.
TEST(NumberText, DecimalFraction) {
    const std::vector<std::pair<const char*, std::optional<double>>> rows = {
        {"0.5", 0.5},
        {" 2 ", 2.0},
        {"0.333", 0.333},
        {"010.250", 10.25},
        {"0", 0.0},
        {".5", std::nullopt},
        {"1.", std::nullopt},
        {"-1", std::nullopt},
        {"1e2", std::nullopt},
        {"0x1", std::nullopt},
        {"1.2.3", std::nullopt},
        {"", std::nullopt},
        {"1 .5", std::nullopt},
        {"0.00000000000000000000001", std::nullopt},  // longer than any scale needs
    };
    for (const auto& [text, value] : rows) {
        EXPECT_EQ(parseDecimalFraction(text), value) << text;
        if (value) {
            EXPECT_EQ(parseDecimalFraction(decimalText(*value)), value) << text;
        }
    }
    EXPECT_EQ(decimalText(1), "1");
    EXPECT_EQ(decimalText(0.5), "0.5");
    EXPECT_EQ(decimalText(0.333), "0.333");
}

// Names sort without regard to case ('_' before letters, as they fold to
// lower), byte order breaks ties, equal names keep their order, and each
// value travels with its name.
TEST(FileList, OrderAndValues) {
    FileList list;
    const char* added[] = {"b.png", "a.png", "A.png", "a.png", "_.png"};
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(list.setValue(*list.add(added[i]), i));
    std::string listed;
    for (int i = 0; i < list.count(); ++i) {
        listed += list.text(i) + "=" + std::to_string(list.value(i)) + " ";
    }
    EXPECT_EQ(listed, "_.png=4 A.png=2 a.png=1 a.png=3 b.png=0 ");
    EXPECT_EQ(list.findValue(3), 3);
    EXPECT_EQ(list.findValue(7), std::nullopt);
    list.remove(0);
    list.remove(9);
    EXPECT_EQ(list.text(0), "A.png");
    EXPECT_EQ(list.count(), 4);
    EXPECT_FALSE(list.setValue(4, 3));
    EXPECT_EQ(list.text(-1), "");
}

// Each value worked by hand: state' = state * 214013 + 2531011 mod 2^32,
// value = (state' >> 16) & 0x7FFF. The seed 4294967295 checks the wrap.
TEST(ClassicRandom, FirstValuesFollowTheFormula) {
    const std::pair<std::uint32_t, std::array<int, 3>> cases[] = {
        {0, {38, 7719, 21238}}, {1, {41, 18467, 6334}}, {4294967295u, {35, 29739, 3374}}};
    for (const auto& [seed, values] : cases) {
        ClassicRandom random(seed);
        for (int v : values) EXPECT_EQ(random.next(), v) << seed;
    }
}

// The default paths follow $HOME; the defaults reset the settings and stop a
// build. (The refresh rules, which clamp cropAlpha, follow the text file's type
// and, asked to refill, empty the file list, are pinned through the window:
// tests/app/main_dialog_test.cpp.)
TEST(JobSettings, DefaultsFollowHomeAndStopTheRun) {
    const char* saved = std::getenv("HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("HOME", "/home/ada", 1);
    JobSettings s = defaultJobSettings();
    saved ? ::setenv("HOME", previous.c_str(), 1) : ::unsetenv("HOME");
    EXPECT_EQ(
        s.inputFolder + " " + s.outputImageFile + " " + s.outputTextFile + " " + s.loadSettingsPath,
        "/home/ada/Images/Input/ /home/ada/Images/Output/final.png "
        "/home/ada/Images/Output/finalRects.txt /home/ada/Images/Input/");
    BuildRun run;
    run.currentStep = 12;
    s.cropAlpha = 300;
    applyDefaults(s, run);
    EXPECT_EQ(run.currentStep, -1);
    EXPECT_EQ(s, defaultJobSettings());
}

}  // namespace
}  // namespace tilvane
