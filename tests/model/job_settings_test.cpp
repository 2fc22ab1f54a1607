#include "model/job_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "model/build_run.h"
#include "model/window_services.h"

namespace tilvane {
namespace {

TEST(JobSettings, FileTypesFollowTheExtension) {
    struct Case {
        const char* path;
        bool input;
        bool outputImage;
        int textType;
    };
    const Case cases[] = {
        {"photo.PNG", true, true, kTextPlain},
        {"/img/photo.Tga", true, true, kTextPlain},
        {"photo.jpeg", false, false, kTextPlain},
        {"sheet.gif", true, false, kTextPlain},
        {"archive.png.zip", false, false, kTextPlain},
        {".png", true, true, kTextPlain},         // the whole name is the extension
        {"/a.b/file", false, false, kTextPlain},  // the dot lies in a folder name
        {"/a.json/rects", false, false, kTextPlain},
        {"", false, false, kTextPlain},
        {"rects.JSON", false, false, kTextJson},
        {"rects.xml", false, false, kTextXml},
        {"/out/r.CSS", false, false, kTextCss},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(isSupportedInputFile(c.path), c.input);
        EXPECT_EQ(isSupportedOutputImageFile(c.path), c.outputImage);
        EXPECT_EQ(textFileTypeOf(c.path), c.textType);
    }
}

TEST(JobSettings, DefaultsUseTheHomeFolderAndMakeTheBuildIdle) {
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
    EXPECT_EQ(s.loadSettingsPath, "/home/ada/Images/Input/");

    JobSettings changed;
    changed.namePrefix = "x";
    BuildRun run;
    run.currentStep = 12;
    applyDefaults(changed, run);
    EXPECT_EQ(run.currentStep, -1);
    EXPECT_EQ(changed, defaultJobSettings());
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
    applyRefreshRules(s, run, list, true);
    EXPECT_EQ(list.count(), 0);
}

}  // namespace
}  // namespace tilvane
