// The Report, Done and save-options dialogs.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include "app/atlas_preview.h"
#include "app/credits.h"
#include "app/desktop_open.h"
#include "app/done_dialog.h"
#include "app/gui_test_support.h"
#include "app/image_options_dialog.h"
#include "app/report_dialog.h"
#include "app/spin_button.h"
#include "model/save_options.h"
#include "support/temp_dir.h"

using namespace tilvane;
using namespace tilvane::testing;

namespace {

// Runs the save-options dialog as the build's completion does, on the JPEG
// quality or the TIFF compression in *value, applying the actions before the
// final button; returns whether it was confirmed.
bool runOptions(bool jpeg, std::int32_t* value,
                const std::function<void(ImageOptionsDialog*)>& actions, bool confirm = true) {
    whenModal<ImageOptionsDialog>([&actions, confirm](ImageOptionsDialog* dialog) {
        actions(dialog);
        dialog->findChild<QPushButton*>(confirm ? "okButton" : "cancelButton")->click();
    });
    if (jpeg) return runImageOptionsDialog(nullptr, "JPEG Options", value, 0, 100, nullptr, {});
    return runImageOptionsDialog(nullptr, "TIFF Options", nullptr, 0, 0, value,
                                 kTiffCompressionChoices);
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(leakedTopLevelWidgets(), QStringList()); }

    // The Report sorts its lines without regard to case (the build's run
    // shows its totals); both dialogs stay open while their buttons show an
    // output in its folder, which only a folder that still exists can do.
    void reportAndDoneDialogs() {
        std::vector<std::pair<DesktopRequest, std::string>> desktopCalls;
        setDesktopHandler([&desktopCalls](DesktopRequest request, const std::string& path) {
            desktopCalls.emplace_back(request, path);
            return true;
        });
        const auto restore = qScopeGuard([] { setDesktopHandler({}); });
        TempDir dir;
        const std::string image = dir.file("atlas.png");
        ReportDialog report;
        report.setReport({"zeta.png", "Beta.png", "alpha.png"}, image, dir.file("atlas.txt"), 7, 3);
        auto* list = report.findChild<QListWidget*>("failureList");
        QStringList lines;
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        QCOMPARE(lines, (QStringList{"alpha.png", "Beta.png", "zeta.png"}));
        report.show();
        report.findChild<QPushButton*>("openImageFolderButton")->click();
        QVERIFY(report.isVisible());
        QCOMPARE(desktopCalls, (decltype(desktopCalls){{DesktopRequest::ShowItem, image}}));
        DoneDialog done;
        done.setResult(image, dir.folder() + "deleted/atlas.txt", 1);
        done.show();
        done.findChild<QPushButton*>("openTextFolderButton")->click();
        QVERIFY(done.isVisible());
        QCOMPARE(desktopCalls.size(), std::size_t{1});
        // Without a launcher the button says so, naming the file.
        setDesktopHandler([](DesktopRequest, const std::string&) { return false; });
        MessageBoxWatch messages;
        done.findChild<QPushButton*>("openImageFolderButton")->click();
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY(messages.texts[0].startsWith("Could not show the file:\n" +
                                             QString::fromStdString(image)));
    }

    // About names every library the program is built on.
    void aboutNamesEveryLibrary() {
        const QString credits = QString::fromStdString(aboutCreditsText());
        for (const char* name :
             {"Qt 6", "libpng", "libjpeg-turbo", "libtiff", "giflib", "zlib", "libdeflate"})
            QVERIFY2(credits.contains(QLatin1String(name) + ": "), name);
    }

    // The preview's zoom, from the fitted page: the keys, the wheel with Ctrl
    // (without it the wheel scrolls), and the limits. A page whose file cannot
    // be read keeps its outlines and says why.
    void previewZoom_data() {
        QTest::addColumn<QString>("keys");  // typed into the window; "w" a wheel notch with Ctrl
        QTest::addColumn<double>("fits");   // the zoom as a multiple of the fitted one; 0: 1:1
        row("plus", "+", 1.25);
        row("equals is plus unshifted", "=", 1.25);
        row("minus", "-", 0.8);
        row("Ctrl and the wheel", "w", 1.25);
        row("the wheel alone scrolls", "W", 1.0);
        row("back to fit", "++0", 1.0);
        row("one to one", "-1", 0.0);
    }
    void previewZoom() {
        QFETCH(QString, keys);
        QFETCH(double, fits);
        BuildRun::DrawnPage page;
        page.size = {640, 320};
        page.imageFile = "/nonexistent/atlas.png";
        page.names = {"a.png", "b.png"};
        page.rects = {{0, 0, 9, 9}, {10, 0, 19, 29}};
        AtlasPreview preview;
        preview.resize(400, 300);
        preview.showPages({page});
        QVERIFY(showActive(preview));
        AtlasPageView* view = preview.currentView();
        QTRY_VERIFY(view->fitting());
        const double fitted = view->zoom();
        QVERIFY(fitted < 1.0);
        for (const QChar key : keys) {
            if (key == QLatin1Char('w') || key == QLatin1Char('W')) {
                const QPointF at(50, 50);
                QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), {}, {0, 120}, Qt::NoButton,
                                  key == QLatin1Char('w') ? Qt::ControlModifier : Qt::NoModifier,
                                  Qt::NoScrollPhase, false);
                QApplication::sendEvent(view->viewport(), &wheel);
            } else {
                QTest::keyClicks(&preview, QString(key));
            }
        }
        QCOMPARE(view->zoom(), fits == 0.0 ? 1.0 : fitted * fits);
        QTRY_COMPARE(preview.statusText(),
                     QStringLiteral("atlas.png could not be read: only the outlines are shown."));
        QCOMPARE(view->outlines().size(), 2);
    }

    void jpegQualityControls_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("typed");  // then the field is left
        QTest::addColumn<int>("step");       // spin button; 2: none; 3: slider PageUp, then up
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("messages");
        row("stored above the range opens at the top", 150, "", 2, 100, 0);
        row("typed above the range", 50, "150", 2, 100, 0);
        row("typed below the range", 50, "-5", 2, 0, 0);
        row("typed inside the range", 50, "73", 2, 73, 0);
        row("refused text keeps the value", 50, "lots", 2, 50, 1);
        row("spin up", 50, "", 1, 51, 0);
        row("spin up at the top stays", 100, "", 1, 100, 0);
        row("spin without a step says huh", 50, "", 0, 50, 1);
        row("the spin button steps from where the slider went", 50, "", 3, 61, 0);
    }
    void jpegQualityControls() {
        QFETCH(int, stored);
        QFETCH(QString, typed);
        QFETCH(int, step);
        QFETCH(int, shown);
        QFETCH(int, messages);
        QString fieldAfter;
        int sliderAfter = -1;
        MessageBoxWatch boxes;
        std::int32_t quality = stored;
        QVERIFY(runOptions(true, &quality, [&](ImageOptionsDialog* dialog) {
            auto* field = dialog->findChild<QLineEdit*>("qualityEdit");
            auto* slider = dialog->findChild<QSlider*>("qualitySlider");
            if (step == 3) {
                QTest::keyClick(slider, Qt::Key_PageUp);
                QTest::mouseClick(dialog->findChild<QWidget*>("upButton"), Qt::LeftButton);
            } else if (step != 2) {
                field->setText(QStringLiteral("7"));  // the spin button does not read it
                emit dialog->findChild<SpinButton*>("qualitySpinButton")->stepRequested(step);
            } else if (!typed.isEmpty()) {
                field->setText(typed);
                leave(field);
            }
            fieldAfter = field->text();
            sliderAfter = slider->value();
        }));
        QCOMPARE(fieldAfter, QString::number(shown));
        QCOMPARE(sliderAfter, shown);
        QCOMPARE(quality, shown);
        QCOMPARE(boxes.texts.size(), messages);
        if (step == 0) QCOMPARE(boxes.texts, QStringList{"huh"});
    }

    void tiffCompressionByCode_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("selectedAtOpen");
        QTest::addColumn<int>("returned");
        row("ZIP chosen", 0, "ZIP", true, "NONE", 13);
        row("unknown code untouched", 5, "", true, "", 5);
        row("cancel keeps the stored code", 9, "ZIP", false, "MACINTOSH", 9);
    }
    void tiffCompressionByCode() {
        QFETCH(int, stored);
        QFETCH(QString, choose);
        QFETCH(bool, confirm);
        QFETCH(QString, selectedAtOpen);
        QFETCH(int, returned);
        QStringList names;
        QString selected;
        std::int32_t compression = stored;
        const auto choice = [&](ImageOptionsDialog* dialog) {
            auto* combo = dialog->findChild<QComboBox*>("compressionCombo");
            for (int i = 0; i < combo->count(); ++i) names << combo->itemText(i);
            selected = combo->currentText();
            if (choose.isEmpty()) return;
            combo->setCurrentIndex(combo->findText(choose));
            emit combo->activated(combo->currentIndex());
        };
        QCOMPARE(runOptions(false, &compression, choice, confirm), confirm);
        QCOMPARE(names, (QStringList{"MACINTOSH", "NONE", "ZIP"}));
        QCOMPARE(selected, selectedAtOpen);
        QCOMPARE(compression, returned);
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
