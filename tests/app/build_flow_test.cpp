// Whole builds driven from the window: "GO!", the timer's ticks, and the
// result dialogs, on temporary folders.
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include "app/done_dialog.h"
#include "app/gui_test_support.h"
#include "app/main_dialog.h"
#include "app/report_dialog.h"
#include "app/startup_paths.h"
#include "model/path_helpers.h"
#include "support/temp_dir.h"

using namespace tilvane;
using namespace tilvane::testing;

namespace {

// A sprite with a transparent margin around an opaque block.
void writeSprite(const std::string& path, int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(2, 2, width - 4, height - 4, colour);
    painter.end();
    QVERIFY(image.save(QString::fromStdString(path), "PNG"));
}

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
    std::string input_;
    std::string output_;

    std::unique_ptr<MainDialog> makeWindow(int sprites) {
        input_ = dir_->folder() + "in/";
        output_ = dir_->folder() + "out/";
        QDir().mkpath(QString::fromStdString(input_));
        QDir().mkpath(QString::fromStdString(output_));
        for (int i = 0; i < sprites; ++i) {
            writeSprite(input_ + "sprite" + std::to_string(i) + ".png", 16 + 4 * (i % 5),
                        16 + 2 * (i % 7), QColor::fromHsv((i * 37) % 360, 200, 220));
        }
        auto window = std::make_unique<MainDialog>(startupPathsIn(dir_->folder()));
        JobSettings& settings = window->settings();
        settings.inputFolder = input_;
        settings.outputImageFile = output_ + "atlas.png";
        settings.outputTextFile = output_ + "atlas.txt";
        settings.outputWidth = 256;
        settings.outputHeight = 256;
        settings.createMask = 0;
        window->refreshControls(false);
        window->show();
        return window;
    }

    // Presses GO! and checks that the build was armed.
    static void pressGo(MainDialog& window) {
        window.findChild<QPushButton*>("goButton")->click();
        QVERIFY2(window.run().currentStep == 0,
                 "GO! did not arm a build: the build pipeline is not available");
    }

private slots:
    void init() { dir_ = std::make_unique<TempDir>(); }
    void cleanup() {
        dir_.reset();
        QCOMPARE(leakedTopLevelWidgets(), QStringList());
    }

    void goThroughTicksToTheDoneDialog() {
        auto window = makeWindow(3);
        window->settings().createMask = 1;
        PaintedTexts status(window->findChild<QLabel*>("statusLabel"));
        QString total;
        QString statusWhileOpen;
        bool done = false;
        whenModal<DoneDialog>([&](DoneDialog* dialog) {
            total = dialog->findChild<QLabel*>("addedTotalLabel")->text();
            statusWhileOpen = window->findChild<QLabel*>("statusLabel")->text();
            done = true;
            dialog->accept();
        });
        pressGo(*window);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(window->findChild<QListWidget*>("fileListBox")->count(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
        QCOMPARE(total, QStringLiteral("Total images added: 3"));
        QCOMPARE(statusWhileOpen, QStringLiteral("Done"));
        QCOMPARE(window->run().currentStep, -1);
        QCOMPARE(window->run().placedNames.size(), std::size_t{3});
        const QImage atlas(QString::fromStdString(output_ + "atlas.png"));
        QCOMPARE(atlas.size(), QSize(256, 256));
        const std::string text = readFile(output_ + "atlas.txt");
        QVERIFY(text.find("sprite0") != std::string::npos);
        QVERIFY(text.find("sprite2") != std::string::npos);
        QVERIFY(fileExists(output_ + "atlas_mask.png"));
        // Each step and the completion run without the event loop: the status
        // must have been painted while they worked.
        for (const char* shown : {"Searching for files...", "Adding: sprite0.png",
                                  "Adding: sprite2.png", "Saving...", "Creating mask..."}) {
            QVERIFY2(status.texts.contains(QLatin1String(shown)), shown);
        }
    }

    void aFileThatFailsEndsInTheReport() {
        auto window = makeWindow(2);
        writeFile(input_ + "broken.png", "this is not a PNG file");
        QStringList lines;
        QString added;
        QString failed;
        bool reported = false;
        whenModal<ReportDialog>([&](ReportDialog* dialog) {
            auto* list = dialog->findChild<QListWidget*>("failureList");
            for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
            added = dialog->findChild<QLabel*>("addedTotalLabel")->text();
            failed = dialog->findChild<QLabel*>("failedTotalLabel")->text();
            reported = true;
            dialog->accept();
        });
        pressGo(*window);
        if (QTest::currentTestFailed()) return;
        QTRY_VERIFY_WITH_TIMEOUT(reported, 15000);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().startsWith(QStringLiteral("broken.png          (")));
        QCOMPARE(added, QStringLiteral("Total images added: 2"));
        QCOMPARE(failed, QStringLiteral("Total images failed: 1"));
        QTRY_COMPARE(window->statusText(), std::string("Failed to load/add some files."));
    }

    void saveSettingsStopsAnActiveBuild() {
        auto window = makeWindow(12);
        pressGo(*window);
        if (QTest::currentTestFailed()) return;
        answerFileDialog(1, QString::fromStdString(dir_->file("opts")));
        window->findChild<QPushButton*>("saveSettingsButton")->click();
        QCOMPARE(window->fileList().count(), 0);
        QCOMPARE(window->findChild<QListWidget*>("fileListBox")->count(), 0);
        const std::size_t placed = window->run().placedNames.size();
        QTest::qWait(600);  // six ticks
        QCOMPARE(window->run().placedNames.size(), placed);
        QVERIFY(!fileExists(output_ + "atlas.png"));
        QVERIFY(fileExists(dir_->file("opts.cfg")));
    }

    void escapeDuringABuildSavesSettingsAndNoOutput() {
        {
            auto window = makeWindow(12);
            pressGo(*window);
            if (QTest::currentTestFailed()) return;
            QTest::keyClick(window.get(), Qt::Key_Escape);
            QVERIFY(!window->isVisible());
        }
        QTest::qWait(300);
        QVERIFY(fileExists(dir_->file("Settings.cfg")));
        QVERIFY(!fileExists(output_ + "atlas.png"));
        QVERIFY(!fileExists(output_ + "atlas.txt"));
    }
};

QTEST_MAIN(BuildFlowTest)
#include "build_flow_test.moc"
