// Pictures of the five dialogs for a person to look at, and the main window's
// geometry and tab order against its template.
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include "app/about_dialog.h"
#include "app/done_dialog.h"
#include "app/gui_test_support.h"
#include "app/image_options_dialog.h"
#include "app/main_dialog.h"
#include "app/report_dialog.h"
#include "app/startup_paths.h"
#include "model/save_options.h"
#include "support/temp_dir.h"

using namespace tilvane;
using namespace tilvane::testing;

namespace {

struct Placed {
    const char* name;
    QRect du;  // x, y, width, height in dialog units
};

// The window's template, in tab order; labels and the group box follow.
const Placed kControls[] = {
    {"enterSinkButton", {444, 7, 10, 8}},
    {"inputFolderEdit", {7, 23, 396, 12}},
    {"inputFolderBrowseButton", {405, 22, 30, 14}},
    {"inputFolderOpenButton", {440, 22, 14, 14}},
    {"outputImageEdit", {7, 48, 396, 12}},
    {"outputImageBrowseButton", {405, 47, 30, 14}},
    {"outputImageOpenButton", {440, 47, 14, 14}},
    {"outputTextEdit", {7, 73, 396, 12}},
    {"outputTextBrowseButton", {405, 72, 30, 14}},
    {"outputTextOpenButton", {440, 72, 14, 14}},
    {"outputWidthEdit", {57, 94, 55, 12}},
    {"outputHeightEdit", {57, 111, 55, 12}},
    {"borderSizeEdit", {166, 94, 62, 12}},
    {"spacingEdit", {199, 111, 50, 12}},
    {"gridAlignXEdit", {321, 94, 55, 12}},
    {"gridAlignYEdit", {321, 110, 55, 12}},
    {"textFormatCombo", {68, 142, 218, 194}},
    {"namePrefixEdit", {42, 159, 242, 12}},
    {"namePostfixEdit", {42, 176, 242, 12}},
    {"convertTabsCheck", {15, 193, 89, 10}},
    {"tabSizeEdit", {49, 205, 49, 14}},
    {"changeCaseCombo", {203, 193, 82, 98}},
    {"cssUrlPrefixEdit", {15, 232, 269, 12}},
    {"fileListBox", {7, 253, 288, 54}},
    {"cropModeCombo", {344, 136, 104, 128}},
    {"cropAlphaEdit", {412, 151, 35, 13}},
    {"createMaskCheck", {300, 179, 118, 10}},
    {"sortAlphabeticalRadio", {321, 214, 55, 10}},
    {"sortSizeRadio", {321, 226, 70, 10}},
    {"sortRandomRadio", {321, 238, 43, 10}},
    {"randomSeedEdit", {373, 250, 54, 12}},
    {"goButton", {327, 273, 97, 24}},
    {"closeButton", {327, 303, 97, 16}},
    {"saveSettingsButton", {215, 7, 64, 13}},
    {"loadSettingsButton", {287, 7, 64, 13}},
    {"helpButton", {359, 7, 43, 13}},
};
const Placed kStatics[] = {
    {"statusLabel", {7, 310, 289, 9}},        {"inputFolderLabel", {7, 13, 40, 8}},
    {"outputImageLabel", {7, 39, 58, 8}},     {"outputTextLabel", {7, 64, 120, 8}},
    {"outputWidthLabel", {7, 96, 45, 8}},     {"outputHeightLabel", {7, 113, 47, 8}},
    {"borderSizeLabel", {125, 96, 39, 8}},    {"spacingLabel", {125, 113, 72, 8}},
    {"gridAlignXLabel", {262, 96, 56, 8}},    {"gridAlignYLabel", {262, 113, 56, 8}},
    {"textFileGroup", {7, 130, 288, 120}},    {"textFormatLabel", {16, 145, 48, 8}},
    {"namePrefixLabel", {15, 160, 20, 8}},    {"namePostfixLabel", {15, 177, 24, 8}},
    {"tabSizeLabel", {15, 207, 31, 8}},       {"changeCaseLabel", {155, 194, 46, 8}},
    {"cssUrlPrefixLabel", {15, 223, 101, 8}}, {"cropModeLabel", {300, 137, 42, 8}},
    {"cropAlphaLabel", {300, 154, 110, 8}},   {"sortOrderLabel", {300, 203, 48, 8}},
    {"randomSeedLabel", {322, 251, 48, 8}},
};

QString screenshotFolder() {
    const QString folder = QStringLiteral(TILVANE_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    return folder;
}

void savePicture(QWidget& dialog, const char* name) {
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QString path = screenshotFolder() + QLatin1Char('/') + QLatin1String(name);
    QVERIFY2(dialog.grab().save(path), qPrintable(path));
}

}  // namespace

class ScreenshotsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(leakedTopLevelWidgets(), QStringList()); }

    void mainWindowMatchesItsTemplate() {
        TempDir dir;
        MainDialog window(startupPathsIn(dir.folder()));
        const DialogUnits units = window.dialogUnits();
        QCOMPARE(window.size(), units.toPixels(QSize(461, 326)));
        QCOMPARE(window.windowTitle(), QStringLiteral("Tilvane"));
        auto check = [&](const Placed& placed) {
            auto* widget = window.findChild<QWidget*>(QLatin1String(placed.name));
            QVERIFY2(widget, placed.name);
            QRect expected = units.toPixels(placed.du);
            if (qobject_cast<QComboBox*>(widget)) {
                // The template height includes the open list.
                expected.setHeight(widget->height());
                QVERIFY(widget->height() <= units.toPixelsY(placed.du.height()));
            }
            QVERIFY2(widget->geometry() == expected, qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                                                    .arg(QLatin1String(placed.name))
                                                                    .arg(widget->x())
                                                                    .arg(widget->y())
                                                                    .arg(widget->width())
                                                                    .arg(widget->height())));
        };
        for (const Placed& placed : kControls) check(placed);
        for (const Placed& placed : kStatics) check(placed);
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            QVERIFY2(widget->isEnabled() || widget->objectName() == "cropAlphaEdit" ||
                         widget->objectName() == "tabSizeEdit" ||
                         widget->objectName() == "randomSeedEdit",
                     qPrintable(widget->objectName()));
        }
    }

    void mainWindowTabOrderFollowsTheTemplate() {
        TempDir dir;
        MainDialog window(startupPathsIn(dir.folder()));
        QStringList expected;
        for (const Placed& placed : kControls) expected << QLatin1String(placed.name);
        QStringList order;
        QWidget* first = window.findChild<QWidget*>(expected.first());
        QWidget* widget = first;
        do {
            if (expected.contains(widget->objectName()) && !order.contains(widget->objectName())) {
                order << widget->objectName();
            }
            widget = widget->nextInFocusChain();
        } while (widget && widget != first);
        QCOMPARE(order, expected);
    }

    void picturesOfEveryDialog() {
        TempDir dir;
        {
            MainDialog window(startupPathsIn(dir.folder()));
            for (const char* name : {"Ape.png", "bird.png", "Cat.png", "dog.png"}) {
                window.fileList().add(name);
            }
            window.setStatusText("Adding: bird.png");
            window.refreshControls(false);
            savePicture(window, "main_dialog.png");
        }
        {
            AboutDialog about;
            savePicture(about, "about_dialog.png");
        }
        {
            ReportDialog report;
            report.setReport({"broken.png          (failed to load)",
                              "huge.png          (no space left on output image)"},
                             "/tmp/atlas.png", "/tmp/atlas.txt", 7, 2);
            savePicture(report, "report_dialog.png");
        }
        {
            DoneDialog done;
            done.setResult("/tmp/atlas.png", "/tmp/atlas.txt", 42);
            savePicture(done, "done_dialog.png");
        }
        {
            ImageOptionsDialog options;
            std::int32_t quality = 85;
            options.setUp("JPEG Options", &quality, 0, 100, nullptr, {});
            savePicture(options, "image_options_jpeg.png");
        }
        {
            ImageOptionsDialog options;
            std::int32_t compression = 13;
            options.setUp("TIFF Options", nullptr, 0, 0, &compression, kTiffCompressionChoices);
            savePicture(options, "image_options_tiff.png");
        }
        for (const char* name : {"main_dialog.png", "about_dialog.png", "report_dialog.png",
                                 "done_dialog.png", "image_options_jpeg.png"}) {
            QVERIFY(QFileInfo(screenshotFolder() + QLatin1Char('/') + QLatin1String(name)).size() >
                    0);
        }
    }
};

QTEST_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"
