// The Report, Done, About and save-options dialogs.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>

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

// Runs the save-options dialog the way the build's completion does, with the
// given actions applied before the final button.
struct OptionsRun {
    bool accepted = false;
    std::int32_t quality = 0;
    std::int32_t compression = 0;
};

OptionsRun runOptions(bool jpeg, std::int32_t stored,
                      const std::function<void(ImageOptionsDialog*)>& actions, bool confirm) {
    OptionsRun result;
    result.quality = stored;
    result.compression = stored;
    whenModal<ImageOptionsDialog>([&actions, confirm](ImageOptionsDialog* dialog) {
        actions(dialog);
        auto* button = dialog->findChild<QPushButton*>(confirm ? "okButton" : "cancelButton");
        button->click();
    });
    if (jpeg) {
        result.accepted =
            runImageOptionsDialog(nullptr, "JPEG Options", &result.quality, 0, 100, nullptr, {});
    } else {
        result.accepted = runImageOptionsDialog(nullptr, "TIFF Options", nullptr, 0, 0,
                                                &result.compression, kTiffCompressionChoices);
    }
    return result;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private:
    std::vector<std::pair<DesktopRequest, std::string>> desktopCalls_;

private slots:
    void init() {
        desktopCalls_.clear();
        setDesktopHandler([this](DesktopRequest request, const std::string& path) {
            desktopCalls_.emplace_back(request, path);
        });
    }
    void cleanup() {
        setDesktopHandler({});
        QCOMPARE(leakedTopLevelWidgets(), QStringList());
    }

    void reportSortsItsLinesAndShowsTheTotals() {
        ReportDialog report;
        report.setReport({"zeta.png          (failed to load)",
                          "Beta.png          (no space left on output image)",
                          "alpha.png          (failed to load)"},
                         "/x/atlas.png", "/x/atlas.txt", 7, 3);
        auto* list = report.findChild<QListWidget*>("failureList");
        QStringList shown;
        for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
        QCOMPARE(shown, (QStringList{"alpha.png          (failed to load)",
                                     "Beta.png          (no space left on output image)",
                                     "zeta.png          (failed to load)"}));
        QCOMPARE(report.findChild<QLabel*>("addedTotalLabel")->text(),
                 QStringLiteral("Total images added: 7"));
        QCOMPARE(report.findChild<QLabel*>("failedTotalLabel")->text(),
                 QStringLiteral("Total images failed: 3"));
        QCOMPARE(report.findChild<QLabel*>("grandTotalLabel")->text(),
                 QStringLiteral("Grand total: 10"));
        QCOMPARE(report.windowTitle(), QStringLiteral("Report"));
    }

    void openFolderButtons_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("folderExists");
        row("report image", "report", "openImageFolderButton", true);
        row("done text, folder deleted", "done", "openTextFolderButton", false);
        row("report text, folder deleted", "report", "openTextFolderButton", false);
    }
    void openFolderButtons() {
        QFETCH(QString, dialog);
        QFETCH(QString, button);
        QFETCH(bool, folderExists);
        TempDir dir;
        const std::string folder = folderExists ? dir.folder() : dir.folder() + "deleted/";
        const std::string image = folder + "atlas.png";
        const std::string text = folder + "atlas.txt";
        std::unique_ptr<QDialog> shown;
        if (dialog == "report") {
            auto report = std::make_unique<ReportDialog>();
            report->setReport({}, image, text, 1, 0);
            shown = std::move(report);
        } else {
            auto done = std::make_unique<DoneDialog>();
            done->setResult(image, text, 1);
            shown = std::move(done);
        }
        shown->show();
        shown->findChild<QPushButton*>(button)->click();
        QVERIFY(shown->isVisible());  // the dialog stays open
        if (!folderExists) {
            QVERIFY(desktopCalls_.empty());
            return;
        }
        QCOMPARE(desktopCalls_.size(), std::size_t{1});
        QCOMPARE(desktopCalls_[0].first, DesktopRequest::ShowItem);
        QCOMPARE(desktopCalls_[0].second, button == "openImageFolderButton" ? image : text);
    }

    void jpegQualityControls_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("typed");  // then the field is left
        QTest::addColumn<int>("step");       // from the spin button; 2: none
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("messages");
        row("stored above the range opens at the top", 150, "", 2, 100, 0);
        row("typed above the range", 50, "150", 2, 100, 0);
        row("typed below the range", 50, "-5", 2, 0, 0);
        row("typed inside the range", 50, "73", 2, 73, 0);
        row("refused text keeps the value", 50, "lots", 2, 50, 1);
        row("spin up", 50, "", 1, 51, 0);
        row("spin up at the top stays", 100, "", 1, 100, 0);
        row("spin down at the bottom stays", 0, "", -1, 0, 0);
        row("spin without a step says huh", 50, "", 0, 50, 1);
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
        const OptionsRun run = runOptions(
            true, stored,
            [&](ImageOptionsDialog* dialog) {
                auto* field = dialog->findChild<QLineEdit*>("qualityEdit");
                if (step != 2) {
                    field->setText(QStringLiteral("7"));  // the spin button does not read it
                    emit dialog->findChild<SpinButton*>("qualitySpinButton")->stepRequested(step);
                } else if (!typed.isEmpty()) {
                    field->setText(typed);
                    leave(field);
                }
                fieldAfter = field->text();
                sliderAfter = dialog->findChild<QSlider*>("qualitySlider")->value();
            },
            true);
        QVERIFY(run.accepted);
        QCOMPARE(fieldAfter, QString::number(shown));
        QCOMPARE(sliderAfter, shown);
        QCOMPARE(run.quality, shown);
        QCOMPARE(boxes.texts.size(), messages);
        if (step == 0) QCOMPARE(boxes.texts, QStringList{"huh"});
    }

    void sliderFieldAndSpinStayInStep_data() {
        QTest::addColumn<QString>("move");
        row("click in the groove", "groove");
        row("drag", "drag");
        row("PageUp", "page");
        row("wheel", "wheel");
    }
    void sliderFieldAndSpinStayInStep() {
        QFETCH(QString, move);
        int moved = -1;
        const OptionsRun run = runOptions(
            true, 50,
            [&](ImageOptionsDialog* dialog) {
                auto* slider = dialog->findChild<QSlider*>("qualitySlider");
                auto* field = dialog->findChild<QLineEdit*>("qualityEdit");
                QStyleOptionSlider option;
                option.initFrom(slider);
                option.orientation = slider->orientation();
                option.minimum = slider->minimum();
                option.maximum = slider->maximum();
                option.sliderPosition = slider->sliderPosition();
                option.sliderValue = slider->value();
                const QPoint handle = slider->style()
                                          ->subControlRect(QStyle::CC_Slider, &option,
                                                           QStyle::SC_SliderHandle, slider)
                                          .center();
                const QPoint right(slider->width() * 9 / 10, handle.y());
                if (move == "groove") {
                    QTest::mouseClick(slider, Qt::LeftButton, {}, right);
                } else if (move == "drag") {
                    QTest::mousePress(slider, Qt::LeftButton, {}, handle);
                    QTest::mouseMove(slider, (handle + right) / 2);
                    QTest::mouseMove(slider, right);
                    QTest::mouseRelease(slider, Qt::LeftButton, {}, right);
                } else if (move == "page") {
                    QTest::keyClick(slider, Qt::Key_PageUp);
                } else {
                    QWheelEvent wheel(QPointF(handle), slider->mapToGlobal(QPointF(handle)), {},
                                      {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
                    QApplication::sendEvent(slider, &wheel);
                }
                moved = slider->value();
                QCOMPARE(dialog->quality(), moved);
                QCOMPARE(field->text(), QString::number(moved));
                // The spin button steps from where the slider went.
                QTest::mouseClick(dialog->findChild<QWidget*>("upButton"), Qt::LeftButton);
                QCOMPARE(field->text(), QString::number(moved + 1));
                QCOMPARE(slider->value(), moved + 1);
            },
            true);
        QVERIFY2(moved > 50 && moved < 100, qPrintable(QString::number(moved)));
        QCOMPARE(run.quality, moved + 1);
    }

    void tiffCompressionByCode_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("selectedAtOpen");
        QTest::addColumn<int>("returned");
        row("ZIP chosen", 0, "ZIP", true, "NONE", 13);
        row("MACINTOSH chosen", 13, "MACINTOSH", true, "ZIP", 9);
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
        const OptionsRun run = runOptions(
            false, stored,
            [&](ImageOptionsDialog* dialog) {
                auto* combo = dialog->findChild<QComboBox*>("compressionCombo");
                for (int i = 0; i < combo->count(); ++i) names << combo->itemText(i);
                selected = combo->currentText();
                if (!choose.isEmpty()) {
                    const int at = combo->findText(choose);
                    combo->setCurrentIndex(at);
                    emit combo->activated(at);
                }
            },
            confirm);
        QCOMPARE(names, (QStringList{"MACINTOSH", "NONE", "ZIP"}));
        QCOMPARE(selected, selectedAtOpen);
        QCOMPARE(run.accepted, confirm);
        QCOMPARE(run.compression, returned);
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
