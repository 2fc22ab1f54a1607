// Whole builds driven from the window: "GO!", the timer's ticks, and the
// result dialogs, on temporary folders.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include "app/gui_test_support.h"
#include "app/main_dialog.h"
#include "app/startup_paths.h"
#include "model/path_helpers.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

using namespace tilvane;
using namespace tilvane::testing;

namespace {

// The label's text at each of its paint events: what the user saw.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QLabel* label) : label_(label) { label->installEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint) texts << label_->text();
        return false;
    }

private:
    QLabel* label_;
};

}  // namespace

class BuildFlowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> dir_;
    std::string output_;

    // A shown window set to build from in/ into out/ (with a mask, by default),
    // with the given number of sprites and a file that is not an image when asked.
    std::unique_ptr<MainDialog> makeWindow(int sprites, bool broken = false) {
        const std::string input = dir_->folder() + "in/";
        output_ = dir_->folder() + "out/";
        QDir().mkpath(QString::fromStdString(input));
        QDir().mkpath(QString::fromStdString(output_));
        for (int i = 0; i < sprites; ++i) {
            QImage image(16, 16, QImage::Format_ARGB32);
            image.fill(Qt::red);
            image.save(QString::fromStdString(input + "sprite" + std::to_string(i) + ".png"));
        }
        if (broken) writeFile(input + "broken.png", "this is not a PNG file");
        auto window = std::make_unique<MainDialog>(startupPathsIn(dir_->folder()));
        JobSettings& settings = window->settings();
        settings.inputFolder = input;
        settings.outputImageFile = output_ + "atlas.png";
        settings.outputTextFile = output_ + "atlas.txt";
        window->refreshControls(false);
        window->show();
        return window;
    }

private slots:
    void init() { dir_ = std::make_unique<TempDir>(); }
    void cleanup() {
        dir_.reset();
        QCOMPARE(leakedTopLevelWidgets(), QStringList());
    }

    // The dialog that ends the build: Done, or the Report when a file failed.
    void goThroughTicksToTheResultDialog_data() {
        QTest::addColumn<bool>("broken");
        QTest::addColumn<QStringList>("shown");  // the dialog's totals and lines
        QTest::addColumn<QString>("status");
        row("every file loads", false, QStringList{"Total images added: 3"}, "Done");
        row("a file fails", true,
            QStringList{"Total images added: 3", "Total images failed: 1", "Grand total: 4",
                        "broken.png          (failed to load)"},
            "Failed to load/add some files.");
    }
    void goThroughTicksToTheResultDialog() {
        QFETCH(bool, broken);
        QFETCH(QStringList, shown);
        QFETCH(QString, status);
        auto window = makeWindow(3, broken);
        PaintedTexts painted(window->findChild<QLabel*>("statusLabel"));
        QStringList seen;
        whenModal<QDialog>([&](QDialog* dialog) {
            for (const char* name : {"addedTotalLabel", "failedTotalLabel", "grandTotalLabel"}) {
                if (auto* label = dialog->findChild<QLabel*>(name)) seen << label->text();
            }
            if (auto* list = dialog->findChild<QListWidget*>("failureList")) {
                for (int i = 0; i < list->count(); ++i) seen << list->item(i)->text();
            }
            dialog->accept();
        });
        window->findChild<QPushButton*>("goButton")->click();
        QCOMPARE(window->run().currentStep, 0);  // the build is armed
        QCOMPARE(window->findChild<QListWidget*>("fileListBox")->count(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(seen, shown, 15000);
        QTRY_COMPARE(QString::fromStdString(window->statusText()), status);
        QCOMPARE(window->run().currentStep, -1);
        // Each step and the completion run without the event loop: the status
        // must have been painted while they worked.
        for (const char* step : {"Searching for files...", "Adding: sprite0.png",
                                 "Adding: sprite2.png", "Saving...", "Creating mask..."}) {
            QVERIFY2(painted.texts.contains(QLatin1String(step)), step);
        }
    }

    // A settings file whose extension block asks for a fitted size and a JSON
    // hash builds in the window exactly the files tilvane-pack builds from it.
    void moreOptionsBuildWhatTilvanePackBuilds() {
        auto window = makeWindow(5);
        window->settings().outputTextFile = output_ + "atlas.json";
        const std::string cfg = dir_->file("fit.cfg");
        writeFile(cfg, encodeSettings(window->settings(), {{"fit", "any"}, {"format", "hash"}}));
        answerFileDialog(1, QString::fromStdString(cfg));
        window->findChild<QPushButton*>("loadSettingsButton")->click();
        bool done = false;
        whenModal<QDialog>([&](QDialog* dialog) {
            done = true;
            dialog->accept();
        });
        window->findChild<QPushButton*>("goButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
        const std::string atlas = readFile(output_ + "atlas.png");
        const std::string data = readFile(output_ + "atlas.json");
        QVERIFY(data.find("\"frames\": {") != std::string::npos);
        QVERIFY(QFile::remove(QString::fromStdString(output_ + "atlas.png")));
        QVERIFY(QFile::remove(QString::fromStdString(output_ + "atlas.json")));

        QProcess pack;
        pack.start(QStringLiteral(TILVANE_BINARY_DIR "/cli/tilvane-pack"),
                   {QStringLiteral("--settings"), QString::fromStdString(cfg), "--quiet"});
        QVERIFY(pack.waitForFinished(30000));
        QCOMPARE(pack.exitCode(), 0);
        QCOMPARE(readFile(output_ + "atlas.png"), atlas);
        QCOMPARE(readFile(output_ + "atlas.json"), data);
    }

    void escapeDuringABuildSavesSettingsAndNoOutput() {
        {
            auto window = makeWindow(12);
            window->findChild<QPushButton*>("goButton")->click();
            QCOMPARE(window->run().currentStep, 0);
            QTest::keyClick(window.get(), Qt::Key_Escape);
            QVERIFY(!window->isVisible());
        }
        QCoreApplication::processEvents();
        QVERIFY(fileExists(dir_->file("Settings.cfg")));
        QVERIFY(!fileExists(output_ + "atlas.png"));
        QVERIFY(!fileExists(output_ + "atlas.txt"));
    }
};

QTEST_MAIN(BuildFlowTest)
#include "build_flow_test.moc"
