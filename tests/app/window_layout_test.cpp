// The main window's geometry and tab order against its template.
#include <QComboBox>
#include <QTest>

#include "app/gui_test_support.h"
#include "app/main_dialog.h"
#include "app/startup_paths.h"
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
}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(leakedTopLevelWidgets(), QStringList()); }

    void mainWindowMatchesItsTemplate() {
        TempDir dir;
        MainDialog window(startupPathsIn(dir.folder()));
        const DialogUnits units = window.dialogUnits();
        QCOMPARE(window.size(), units.toPixels(QSize(461, 326)));
        QStringList expectedOrder;
        for (const Placed& placed : kControls) {
            auto* widget = window.findChild<QWidget*>(QLatin1String(placed.name));
            QVERIFY2(widget, placed.name);
            QRect expected = units.toPixels(placed.du);
            if (qobject_cast<QComboBox*>(widget)) {
                // The template height includes the open list.
                QVERIFY(widget->height() <= units.toPixelsY(placed.du.height()));
                expected.setHeight(widget->height());
            }
            QCOMPARE(widget->geometry(), expected);
            expectedOrder << QLatin1String(placed.name);
        }
        QStringList order;
        QWidget* first = window.findChild<QWidget*>(expectedOrder.first());
        QWidget* widget = first;
        do {
            const QString name = widget->objectName();
            if (expectedOrder.contains(name) && !order.contains(name)) order << name;
            widget = widget->nextInFocusChain();
        } while (widget && widget != first);
        QCOMPARE(order, expectedOrder);
        // At the defaults only the fields of options left off are disabled.
        const QStringList off{"cropAlphaEdit", "tabSizeEdit", "randomSeedEdit"};
        for (QWidget* control : window.findChildren<QWidget*>()) {
            QVERIFY2(control->isEnabled() || off.contains(control->objectName()),
                     qPrintable(control->objectName()));
        }
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
