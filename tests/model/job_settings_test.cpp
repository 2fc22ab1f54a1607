#include "model/job_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "model/build_run.h"
#include "model/window_services.h"

namespace tilvane {
namespace {

struct ExtensionCase {
    const char* path;
    bool input;
    bool outputImage;
};

TEST(JobSettings, ExtensionMatch) {
    const ExtensionCase cases[] = {
        {"photo.PNG", true, true},
        {"photo.png", true, true},
        {"/img/photo.Tga", true, true},
        {"photo.jpeg", false, false},
        {"photo.tiff", false, false},
        {"photo", false, false},
        {"/a.b/file", false, false},  // the dot lies in a folder name
        {"sheet.cel", true, false},
        {"sheet.gif", true, false},
        {"archive.png.zip", false, false},
        {".png", true, true},  // the whole name is the extension
        {"", false, false},
        {"/img/", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(isSupportedInputFile(c.path), c.input);
        EXPECT_EQ(isSupportedOutputImageFile(c.path), c.outputImage);
    }
}

TEST(JobSettings, TextFileType) {
    const std::pair<const char*, int> cases[] = {
        {"rects.JSON", kTextJson}, {"rects.json", kTextJson}, {"rects.xml", kTextXml},
        {"/out/r.CSS", kTextCss},  {"rects.txt", kTextPlain}, {"rects.dat", kTextPlain},
        {"rects", kTextPlain},     {"", kTextPlain},          {"/a.json/rects", kTextPlain},
    };
    for (const auto& [path, type] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(textFileTypeOf(path), type);
    }
}

TEST(JobSettings, DefaultsUseTheHomeFolder) {
    const char* saved = std::getenv("HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("HOME", "/home/ada", 1);
    const JobSettings s = defaultJobSettings();
    if (saved)
        ::setenv("HOME", previous.c_str(), 1);
    else
        ::unsetenv("HOME");

    EXPECT_EQ(s.inputFolder, "/home/ada/Images/Input/");
    EXPECT_EQ(s.outputImageFile, "/home/ada/Images/Output/final.png");
    EXPECT_EQ(s.outputTextFile, "/home/ada/Images/Output/finalRects.txt");
    EXPECT_EQ(s.saveSettingsPath, "/home/ada/Images/Input/");
    EXPECT_EQ(s.loadSettingsPath, "/home/ada/Images/Input/");
    EXPECT_EQ(s.outputWidth, 512u);
    EXPECT_EQ(s.outputHeight, 512u);
    EXPECT_EQ(s.borderSize, 1u);
    EXPECT_EQ(s.spacing, 1u);
    EXPECT_EQ(s.tabSize, 4u);
    EXPECT_EQ(s.cssUrlPrefix, "imgs/");
    EXPECT_EQ(s.createMask, 1);
    EXPECT_EQ(s.sortOrder, 1);
    EXPECT_EQ(s.jpegQuality, 100);
    EXPECT_EQ(s.imageBrowseTypeIndex, 1);
    EXPECT_EQ(s.textBrowseTypeIndex, 0);
}

TEST(JobSettings, ApplyDefaultsMakesTheBuildIdle) {
    JobSettings s;
    s.outputWidth = 7;
    s.namePrefix = "x";
    BuildRun run;
    run.currentStep = 12;
    applyDefaults(s, run);
    EXPECT_EQ(run.currentStep, -1);
    EXPECT_EQ(s, defaultJobSettings());
}

TEST(JobSettings, ChoiceTablesHaveTheirCounts) {
    EXPECT_EQ(kInputExtensions.size(), 11u);
    EXPECT_EQ(kOutputImageExtensions.size(), 6u);
    EXPECT_EQ(kTextFileExtensions.size(), 4u);
    EXPECT_EQ(kRectStyles.size(), 5u);
    EXPECT_EQ(kCropOptions.size(), 3u);
    EXPECT_EQ(kChangeCaseOptions.size(), 4u);
    EXPECT_EQ(kRectStyles[4], "= {u1,  v1,  u2,  v2}");
    EXPECT_EQ(kCropOptions[2], "Crop all to same dimension");
}

TEST(RefreshRules, ClampCropAlphaAndFollowTheTextFile) {
    JobSettings s;
    BuildRun run;
    FileList list;
    list.add("a.png");
    s.cropAlpha = 300;
    s.outputTextFile = "/out/rects.Xml";
    applyRefreshRules(s, run, list, false);
    EXPECT_EQ(s.cropAlpha, 255u);
    EXPECT_EQ(run.textFileType, kTextXml);
    EXPECT_EQ(list.count(), 1);

    s.cropAlpha = 255;
    s.outputTextFile.clear();
    applyRefreshRules(s, run, list, true);
    EXPECT_EQ(s.cropAlpha, 255u);
    EXPECT_EQ(run.textFileType, kTextPlain);
    EXPECT_EQ(list.count(), 0);
}

}  // namespace
}  // namespace tilvane
