// Whole builds driven from the window: "GO!", the timer's ticks, and the
// result dialogs, on temporary folders.
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/atlas_preview.h"
#include "app/gui_test_support.h"
#include "app/image_options_dialog.h"
#include "app/main_dialog.h"
#include "app/more_options_panel.h"
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
    // with the given number of sprites and, when asked, a file that is not an
    // image ("broken") or an empty one ("empty").
    std::unique_ptr<MainDialog> makeWindow(int sprites, const QString& extra = {}) {
        const std::string input = dir_->folder() + "in/";
        output_ = dir_->folder() + "out/";
        QDir().mkpath(QString::fromStdString(input));
        QDir().mkpath(QString::fromStdString(output_));
        for (int i = 0; i < sprites; ++i) {
            QImage image(16, 16, QImage::Format_ARGB32);
            image.fill(Qt::red);
            image.save(QString::fromStdString(input + "sprite" + std::to_string(i) + ".png"));
        }
        if (extra == "broken") writeFile(input + "broken.png", "this is not a PNG file");
        if (extra == "empty") writeFile(input + "empty.png", "");
        auto window = std::make_unique<MainDialog>(startupPathsIn(dir_->folder()));
        JobSettings& settings = window->settings();
        settings.inputFolder = input;
        settings.outputImageFile = output_ + "atlas.png";
        settings.outputTextFile = output_ + "atlas.txt";
        window->refreshControls(false);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) qWarning("not exposed");
        return window;
    }

    // Accepts the dialog that ends the build when it opens; the flag says it did.
    static std::shared_ptr<bool> acceptTheResult() {
        auto done = std::make_shared<bool>(false);
        whenModal<QDialog>([done](QDialog* dialog) {
            *done = true;
            dialog->accept();
        });
        return done;
    }

private slots:
    void init() { dir_ = std::make_unique<TempDir>(); }
    void cleanup() {
        dir_.reset();
        QCOMPARE(leakedTopLevelWidgets(), QStringList());
    }

    // The dialog that ends the build: Done, or the Report when a file failed
    // or was empty; the status line while it is open is the build's last word.
    void goThroughTicksToTheResultDialog_data() {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QStringList>("shown");  // the dialog's totals and lines
        QTest::addColumn<QString>("status");
        row("every file loads", "", QStringList{"Total images added: 3"}, "Done");
        row("a file fails", "broken",
            QStringList{"Total images added: 3", "Total images failed: 1", "Grand total: 4",
                        "broken.png          (failed to load)"},
            "Failed to load/add some files.");
        row("an empty image file", "empty",
            QStringList{"Total images added: 3", "Total images failed: 1", "Grand total: 4",
                        "empty.png          (empty file)"},
            "Done");
    }
    void goThroughTicksToTheResultDialog() {
        QFETCH(QString, extra);
        QFETCH(QStringList, shown);
        QFETCH(QString, status);
        auto window = makeWindow(3, extra);
        PaintedTexts painted(window->findChild<QLabel*>("statusLabel"));
        QStringList seen;
        QString statusWhileOpen;
        whenModal<QDialog>([&](QDialog* dialog) {
            statusWhileOpen = window->findChild<QLabel*>("statusLabel")->text();
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
        QCOMPARE(statusWhileOpen, status);
        QCOMPARE(window->run().currentStep, -1);
        QCOMPARE(window->findChild<QProgressBar*>("buildProgress")->text(),
                 QStringLiteral("3 of 3"));
        // Preparation and the completion run without the event loop: their
        // status must have been painted while they worked. (A step's "Adding:"
        // is painted once a slice of steps, at most once a frame.)
        for (const char* step : {"Searching for files...", "Saving...", "Creating mask..."}) {
            QVERIFY2(painted.texts.contains(QLatin1String(step)),
                     qPrintable(painted.texts.join('|')));
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
        const auto done = acceptTheResult();
        window->findChild<QPushButton*>("goButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(*done, 15000);
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

    // The preview after a build: one tab per page written, one outline per
    // placed image, inside its page and apart from the others, each naming
    // its own image; the page's file read back.
    void previewShowsWhatTheBuildWrote_data() {
        QTest::addColumn<int>("sprites");
        QTest::addColumn<QString>("extra");        // a file that is no image, as makeWindow
        QTest::addColumn<int>("side");             // the atlas's width and height
        QTest::addColumn<QString>("option");       // a More options check box set
        QTest::addColumn<QList<int>>("outlines");  // per tab
        row("one page", 5, "", 512, "", QList<int>{5});
        row("a file failed: the Report", 3, "broken", 512, "", QList<int>{3});
        row("more pages", 10, "", 32, "pages", QList<int>{4, 4, 2});
        // The sprites are alike: one rectangle, every name.
        row("identical images once", 4, "", 512, "alias", QList<int>{1});
    }
    void previewShowsWhatTheBuildWrote() {
        QFETCH(int, sprites);
        QFETCH(QString, extra);
        QFETCH(int, side);
        QFETCH(QString, option);
        QFETCH(QList<int>, outlines);
        auto window = makeWindow(sprites, extra);
        JobSettings& settings = window->settings();
        settings.outputWidth = settings.outputHeight = static_cast<std::uint32_t>(side);
        settings.borderSize = settings.spacing = 0;
        window->refreshControls(false);
        if (!option.isEmpty())
            static_cast<QCheckBox*>(window->moreOptions().control(option.toStdString()))
                ->setChecked(true);
        window->findChild<QPushButton*>("previewButton")->click();
        AtlasPreview& preview = window->preview();
        QVERIFY(preview.isVisible());
        bool ended = false;
        whenModal<QDialog>([&](QDialog* dialog) {
            // The preview is filled before the dialog that ends the build.
            ended = preview.pageCount() == outlines.size();
            dialog->accept();
        });
        window->findChild<QPushButton*>("goButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(ended, 15000);

        QList<int> counts;
        QSet<QString> names;
        for (int page = 0; page < preview.pageCount(); ++page) {
            AtlasPageView* view = preview.pageView(page);
            const QList<QRectF> rects = view->outlines();
            counts << static_cast<int>(rects.size());
            for (qsizetype i = 0; i < rects.size(); ++i) {
                QVERIFY(QRectF(0, 0, side, side).contains(rects[i]));
                for (qsizetype j = 0; j < i; ++j) QVERIFY(!rects[i].intersects(rects[j]));
                const QString said = view->describeAt(rects[i].center());
                QVERIFY2(said.endsWith(QStringLiteral(": x %1, y %2, 16 × 16")
                                           .arg(rects[i].x())
                                           .arg(rects[i].y())),
                         qPrintable(said));
                for (const QString& name : said.section(QLatin1Char(':'), 0, 0).split(", "))
                    names << name;
            }
            // The bottom right pixel of the last page holds no image.
            if (page == preview.pageCount() - 1)
                QCOMPARE(view->describeAt(QPointF(side - 0.5, side - 0.5)), QString());
        }
        QCOMPARE(counts, outlines);
        QCOMPARE(names.size(), sprites);
        AtlasPageView* shown = preview.currentView();
        QTRY_VERIFY(shown->imageLoaded());
        QCOMPARE(shown->loadProblem(), QString());
        // The pointer over a frame: the status line names it.
        const QPointF centre = shown->outlines().constFirst().center();
        const QPoint at = shown->mapFromScene(centre);
        QMouseEvent move(QEvent::MouseMove, at, shown->viewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(shown->viewport(), &move);
        QCOMPARE(preview.statusText(), shown->describeAt(centre));
    }

    // A build that ends without writing its files leaves nothing of the
    // build before it on show.
    void previewClearedByABuildThatWritesNothing_data() {
        QTest::addColumn<QString>("image");  // the second build's atlas
        QTest::addColumn<QString>("status");
        row("refused: no such folder", "missing/atlas.png", "");
        row("JPEG options cancelled", "atlas.jpg", "You cancelled.");
    }
    void previewClearedByABuildThatWritesNothing() {
        QFETCH(QString, image);
        QFETCH(QString, status);
        auto window = makeWindow(3);
        const auto done = acceptTheResult();
        window->findChild<QPushButton*>("goButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(*done, 15000);
        QCOMPARE(window->preview().pageCount(), 1);

        window->settings().outputImageFile = output_ + image.toStdString();
        window->refreshControls(false);
        MessageBoxWatch messages;
        whenModal<ImageOptionsDialog>([](ImageOptionsDialog* dialog) { dialog->reject(); });
        window->findChild<QPushButton*>("goButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(window->run().currentStep, -1, 15000);
        if (!status.isEmpty()) QTRY_COMPARE(QString::fromStdString(window->statusText()), status);
        QCOMPARE(window->preview().pageCount(), 0);
        QVERIFY(
            window->preview().findChild<QWidget*>("emptyNote")->isVisibleTo(&window->preview()));
    }

    // The toggle shows and hides the preview window; its close box or Escape
    // hide it and release the toggle, and so does the main window's end.
    void previewWindowFollowsItsToggle() {
        auto window = makeWindow(0);
        auto* toggle = window->findChild<QPushButton*>("previewButton");
        AtlasPreview& preview = window->preview();
        QVERIFY(preview.isWindow());
        toggle->click();
        QVERIFY(showActive(preview));
        // The main window, exposed just before, may take the activation back
        // once; Escape is the preview's key only while it is the active window.
        preview.activateWindow();
        QTRY_VERIFY(preview.isActiveWindow());
        QTest::keyClick(&preview, Qt::Key_Escape);
        QVERIFY(!preview.isVisible());
        QVERIFY(!toggle->isChecked());
        toggle->click();
        QVERIFY(preview.isVisible());
        window->findChild<QPushButton*>("closeButton")->click();
        QVERIFY(!preview.isVisible());
        QVERIFY(!toggle->isChecked());
    }

    // Cancel, or Escape while a build runs, stops it and the window stays
    // open; Escape then closes it, saving the settings. (That a cancel
    // replaces no file is job_test's BuildStep test and app_xvfb_cancel's.)
    void cancelStopsTheBuildAndWritesNothing_data() {
        QTest::addColumn<bool>("escape");
        row("Cancel button", false);
        row("Escape", true);
    }
    void cancelStopsTheBuildAndWritesNothing() {
        QFETCH(bool, escape);
        {
            auto window = makeWindow(12);
            auto* go = window->findChild<QPushButton*>("goButton");
            auto* cancel = window->findChild<QPushButton*>("cancelButton");
            QVERIFY(!cancel->isEnabled());
            go->click();
            QCOMPARE(window->run().currentStep, 0);
            QVERIFY(cancel->isEnabled());
            escape ? QTest::keyClick(window.get(), Qt::Key_Escape) : cancel->click();
            QVERIFY(window->isVisible());
            QTRY_COMPARE(window->run().currentStep, -1);
            QCOMPARE(window->statusText(), "You cancelled.");
            QVERIFY(go->isEnabled());
            QVERIFY(!cancel->isEnabled());
            QTest::keyClick(window.get(), Qt::Key_Escape);
            QVERIFY(!window->isVisible());
        }
        QCoreApplication::processEvents();
        QVERIFY(fileExists(dir_->file("Settings.cfg")));
    }

    // While a build runs, what would restart it or empty its file list is
    // disabled, and a field being typed into keeps its text through every
    // refresh until it is left.
    void aBuildLeavesTypedTextAndDisablesItsCommands() {
        auto window = makeWindow(40);
        auto* go = window->findChild<QPushButton*>("goButton");
        auto* prefix = window->findChild<QLineEdit*>("namePrefixEdit");
        go->click();
        for (const char* name : {"goButton", "saveSettingsButton", "loadSettingsButton"}) {
            QVERIFY2(!window->findChild<QPushButton*>(name)->isEnabled(), name);
        }
        prefix->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(prefix, QStringLiteral("typed_"));
        const auto done = acceptTheResult();
        QTRY_VERIFY_WITH_TIMEOUT(*done, 15000);
        QTRY_COMPARE(window->run().currentStep, -1);
        // (The Done dialog taking the focus may have committed it.)
        QCOMPARE(prefix->text(), QStringLiteral("typed_"));
        for (const char* name : {"goButton", "saveSettingsButton", "loadSettingsButton"}) {
            QVERIFY2(window->findChild<QPushButton*>(name)->isEnabled(), name);
        }
        leave(prefix);
        QCOMPARE(window->settings().namePrefix, "typed_");
    }

    // GO! is drawn released while a refusal's message is open, and a refused
    // atlas size says why; the status of an earlier build is cleared.
    void aRefusalShowsGoReleasedAndItsReason() {
        auto window = makeWindow(1);
        QVERIFY(showActive(*window));
        window->settings().outputWidth = window->settings().outputHeight = 100000;
        window->setStatusText("Done");
        window->refreshControls(false);
        auto* go = window->findChild<QPushButton*>("goButton");
        // How GO! was last painted when the message box appeared.
        struct Watch : QObject {
            QAbstractButton* go;
            bool downAtPaint = true, downWhenShown = true;
            QString message;
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (watched == go && event->type() == QEvent::Paint) downAtPaint = go->isDown();
                auto* box = qobject_cast<QMessageBox*>(watched);
                if (box && event->type() == QEvent::Show && message.isEmpty()) {
                    downWhenShown = downAtPaint;
                    message = box->text();
                    QTimer::singleShot(0, box, &QMessageBox::accept);
                }
                return false;
            }
        } watch;
        watch.go = go;
        qApp->installEventFilter(&watch);
        // A hand's click: the pressed button is painted before the release.
        QTest::mousePress(go, Qt::LeftButton);
        QTest::qWait(30);
        QTest::mouseRelease(go, Qt::LeftButton);
        QTRY_VERIFY(!watch.message.isEmpty());
        qApp->removeEventFilter(&watch);
        QVERIFY(!watch.downWhenShown);
        // The message's own words are job_test's (StartBuild, "storage above 2^31 bytes").
        QVERIFY2(watch.message.contains("2147483647 bytes"), qPrintable(watch.message));
        QCOMPARE(window->statusText(), "");
    }
};

QTEST_MAIN(BuildFlowTest)
#include "build_flow_test.moc"
