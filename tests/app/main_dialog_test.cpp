// The main window: data exchange, refresh rules, keys, browse procedures and
// the settings commands.
#include "app/main_dialog.h"

#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include "app/desktop_open.h"
#include "app/gui_test_support.h"
#include "app/startup_paths.h"
#include "app/type_filter.h"
#include "model/path_helpers.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

using namespace tilvane;
using namespace tilvane::testing;

namespace {

struct DesktopCall {
    DesktopRequest request;
    std::string path;
};

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> dir_;
    std::vector<DesktopCall> desktopCalls_;

    std::unique_ptr<MainDialog> makeWindow() {
        return std::make_unique<MainDialog>(startupPathsIn(dir_->folder()));
    }
    template <class T>
    static T* child(MainDialog& window, const char* name) {
        T* widget = window.findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no control named %s", name);
        return widget;
    }
    static QLineEdit* edit(MainDialog& window, const char* name) {
        return child<QLineEdit>(window, name);
    }

private slots:
    void init() {
        dir_ = std::make_unique<TempDir>();
        desktopCalls_.clear();
        setDesktopHandler([this](DesktopRequest request, const std::string& path) {
            desktopCalls_.push_back({request, path});
        });
    }

    void cleanup() {
        setDesktopHandler({});
        dir_.reset();
        QCOMPARE(leakedTopLevelWidgets(), QStringList());
    }

    void typeFilterStartsAtTheChosenType_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<QStringList>("expected");
        const QStringList fromText{"Text Files (*.txt)", "XML Files (*.xml)", "JSON Files (*.json)",
                                   "CSS Files (*.css)", "All Files (*)"};
        QTest::newRow("from JSON, wrapping")
            << 2
            << QStringList{"JSON Files (*.json)", "CSS Files (*.css)", "Text Files (*.txt)",
                           "XML Files (*.xml)", "All Files (*)"};
        QTest::newRow("below the table") << -1 << fromText;
        QTest::newRow("past the table") << 4 << fromText;
    }
    void typeFilterStartsAtTheChosenType() {
        QFETCH(int, first);
        QFETCH(QStringList, expected);
        const TypeFilter filter =
            buildTypeFilter(kTextFileExtensions, kTextFileDescriptions, first);
        QStringList shown;
        for (const FileFilter& f : filter.filters) {
            shown << QString::fromStdString(f.description + " (" + f.pattern + ")");
        }
        QCOMPARE(shown, expected);
    }

    void settingsFileLocationRule_data() {
        QTest::addColumn<QString>("xdgConfigHome");  // "-": unset
        QTest::addColumn<bool>("fileBeside");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("expected");  // the folder, below the temporary one
        const QString home = QStringLiteral("home/.config/tilvane");
        QTest::newRow("XDG_CONFIG_HOME unset") << "-" << false << true << home;
        QTest::newRow("XDG_CONFIG_HOME empty") << "" << false << true << home;
        QTest::newRow("XDG_CONFIG_HOME relative") << "rel" << false << true << home;
        QTest::newRow("XDG_CONFIG_HOME honoured") << "xdg" << false << true << "xdg/tilvane";
        QTest::newRow("portable install") << "xdg" << true << true << "bin";
        QTest::newRow("file beside, folder read-only") << "-" << true << false << home;
    }
    void settingsFileLocationRule() {
        QFETCH(QString, xdgConfigHome);
        QFETCH(bool, fileBeside);
        QFETCH(bool, writable);
        QFETCH(QString, expected);
        if (!writable && ::geteuid() == 0) QSKIP("root can write into any folder");
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            if (oldConfig.isNull()) {
                qunsetenv("XDG_CONFIG_HOME");
            } else {
                qputenv("XDG_CONFIG_HOME", oldConfig);
            }
        });
        const std::string root = dir_->folder();
        const std::string bin = root + "bin/";
        QVERIFY(QDir().mkpath(QString::fromStdString(bin)));
        qputenv("HOME", QByteArray::fromStdString(root + "home"));
        if (xdgConfigHome == "-") {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            const bool absolute = !xdgConfigHome.isEmpty() && xdgConfigHome != "rel";
            qputenv("XDG_CONFIG_HOME",
                    absolute ? QByteArray::fromStdString(root) + xdgConfigHome.toUtf8()
                             : xdgConfigHome.toUtf8());
        }
        JobSettings portable = defaultJobSettings();
        portable.outputWidth = 1000;
        if (fileBeside) QVERIFY(saveSettingsFile(portable, bin + "Settings.cfg"));
        if (!writable)
            QVERIFY(QFile::setPermissions(QString::fromStdString(bin),
                                          QFile::ReadOwner | QFile::ExeOwner));
        const std::string path = root + expected.toStdString() + "/Settings.cfg";
        {
            MainDialog window(startupPathsFor(bin));
            QCOMPARE(window.paths().settingsFile, path);
            QCOMPARE(window.settings(), expected == "bin" ? portable : defaultJobSettings());
            window.settings().outputWidth = 2000;
        }
        JobSettings saved = defaultJobSettings();
        loadSettingsFile(saved, path);
        QCOMPARE(saved.outputWidth, 2000u);
        // Nothing is written beside a program that is not a portable install.
        QCOMPARE(
            QDir(QString::fromStdString(bin)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            fileBeside ? QStringList{"Settings.cfg"} : QStringList());
    }

    void leavingAFieldNormalisesIt_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        row("empty folder becomes the separator", "inputFolderEdit", "", "/");
        row("folder trimmed, separator added", "inputFolderEdit", " /srv/img \t", "/srv/img/");
        row("text file trimmed, its type follows", "outputTextEdit", "  /tmp/out/rects.Css  ",
            "/tmp/out/rects.Css");
        row("crop alpha above 255", "cropAlphaEdit", "300", "255");
    }
    void leavingAFieldNormalisesIt() {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        auto window = makeWindow();
        QLineEdit* field = edit(*window, qPrintable(control));
        field->setText(typed);
        leave(field);
        QCOMPARE(field->text(), shown);
        const JobSettings& stored = window->settings();
        QCOMPARE(QString::fromStdString(control == "inputFolderEdit" ? stored.inputFolder
                                        : control == "outputTextEdit"
                                            ? stored.outputTextFile
                                            : std::to_string(stored.cropAlpha)),
                 shown);
        if (control == "outputTextEdit") QCOMPARE(window->run().textFileType, 3);
    }

    void enablingRules_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("dependent");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("crop No") << "cropModeCombo" << 0 << "cropAlphaEdit" << false;
        QTest::newRow("crop Yes") << "cropModeCombo" << 1 << "cropAlphaEdit" << true;
        QTest::newRow("crop all same") << "cropModeCombo" << 2 << "cropAlphaEdit" << true;
        QTest::newRow("tabs off") << "convertTabsCheck" << 0 << "tabSizeEdit" << false;
        QTest::newRow("tabs on") << "convertTabsCheck" << 1 << "tabSizeEdit" << true;
        QTest::newRow("alphabetical") << "sortAlphabeticalRadio" << 1 << "randomSeedEdit" << false;
        QTest::newRow("by size") << "sortSizeRadio" << 1 << "randomSeedEdit" << false;
        QTest::newRow("random") << "sortRandomRadio" << 1 << "randomSeedEdit" << true;
    }
    void enablingRules() {
        QFETCH(QString, control);
        QFETCH(int, choice);
        QFETCH(QString, dependent);
        QFETCH(bool, enabled);
        auto window = makeWindow();
        // Start from the opposite state, so the rule has to act.
        window->settings().cropMode = enabled ? 0 : 1;
        window->settings().convertTabs = enabled ? 0 : 1;
        window->settings().sortOrder = enabled ? 0 : 2;
        window->refreshControls(false);
        QObject* target = window->findChild<QObject*>(control);
        QVERIFY(target);
        if (auto* combo = qobject_cast<QComboBox*>(target)) {
            combo->setCurrentIndex(choice);
            emit combo->activated(choice);
        } else if (auto* check = qobject_cast<QCheckBox*>(target)) {
            if (check->isChecked() != (choice != 0)) check->click();
        } else if (auto* radio = qobject_cast<QRadioButton*>(target)) {
            radio->click();
        }
        QCOMPARE(window->findChild<QWidget*>(dependent)->isEnabled(), enabled);
    }

    void refusedNumberStopsTheCommitThere_data() {
        QTest::addColumn<QString>("bad");
        QTest::newRow("letters") << "abc";
        QTest::newRow("too large") << "4294967296";
        QTest::newRow("two numbers") << "12 3";
    }
    void refusedNumberStopsTheCommitThere() {
        QFETCH(QString, bad);
        auto window = makeWindow();
        window->show();
        // Width comes before the border in the exchange order, spacing and the
        // grid after it.
        edit(*window, "outputWidthEdit")->setText(QStringLiteral("640"));
        edit(*window, "borderSizeEdit")->setText(bad);
        edit(*window, "spacingEdit")->setText(QStringLiteral("7"));
        edit(*window, "gridAlignXEdit")->setText(QStringLiteral("9"));
        edit(*window, "cssUrlPrefixEdit")->setText(QStringLiteral("changed/"));
        MessageBoxWatch messages;
        child<QPushButton>(*window, "closeButton")->click();
        QVERIFY(window->isVisible());
        QCOMPARE(messages.texts.size(), 1);
        QCOMPARE(messages.captions.first(), QCoreApplication::applicationName());
        QCOMPARE(window->settings().outputWidth, 640u);
        QCOMPARE(window->settings().borderSize, 1u);
        QCOMPARE(window->settings().spacing, 1u);
        QCOMPARE(window->settings().gridAlignX, 0u);
        QCOMPARE(window->settings().cssUrlPrefix, std::string("imgs/"));
        QCOMPARE(window->focusWidget(), edit(*window, "borderSizeEdit"));
        QCOMPARE(edit(*window, "borderSizeEdit")->text(), bad);
    }

    void enterNeitherClosesNorCommits() {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const JobSettings before = window->settings();
        QSignalSpy finished(window.get(), &QDialog::finished);
        edit(*window, "outputWidthEdit")->setText(QStringLiteral("999"));
        for (const char* control : {"outputWidthEdit", "textFormatCombo"}) {
            QTest::keyClick(window->findChild<QWidget*>(control), Qt::Key_Return);
            QTest::keyClick(window->findChild<QWidget*>(control), Qt::Key_Enter);
        }
        QVERIFY(window->isVisible());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(window->settings(), before);
        QCOMPARE(window->run().currentStep, -1);
    }

    void closingCommitsOnlyThroughClose_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("way");
        row("text field, Escape", "inputFolderEdit", "ZZZ", "Escape");
        row("text field, close box", "inputFolderEdit", "ZZZ", "close box");
        row("number field, Escape", "outputWidthEdit", "777", "Escape");
        row("refused number, Escape", "outputWidthEdit", "7x", "Escape");
        row("refused number, close box", "outputWidthEdit", "7x", "close box");
        row("number field, Close", "outputWidthEdit", "777", "Close");
    }
    void closingCommitsOnlyThroughClose() {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QString, way);
        JobSettings expected;
        MessageBoxWatch messages;
        {
            auto window = makeWindow();
            QVERIFY(showActive(*window));
            window->settings().outputHeight = 333;  // what an earlier commit stored
            window->refreshControls(false);
            expected = window->settings();
            QLineEdit* field = edit(*window, qPrintable(control));
            field->setFocus(Qt::TabFocusReason);
            QVERIFY(field->hasFocus());
            QTest::keyClicks(field, typed);
            if (way == "Escape") {
                QTest::keyClick(field, Qt::Key_Escape);
            } else if (way == "close box") {
                window->close();
            } else {
                child<QPushButton>(*window, "closeButton")->click();
                expected.outputWidth = typed.toUInt();
            }
            QVERIFY(!window->isVisible());
            QCOMPARE(window->result(), int(way == "Close" ? QDialog::Accepted : QDialog::Rejected));
            // The deactivation that hiding causes may arrive later.
            QCoreApplication::processEvents();
        }
        QCOMPARE(messages.texts, QStringList());
        JobSettings saved = defaultJobSettings();
        loadSettingsFile(saved, dir_->file("Settings.cfg"));
        QCOMPARE(saved, expected);
    }

    void refusedNumberIsSelectedWhenTheFocusComesBack() {
        auto window = makeWindow();
        QVERIFY(showActive(*window));
        QLineEdit* width = edit(*window, "outputWidthEdit");
        width->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(width, QStringLiteral("64o"));
        MessageBoxWatch messages;
        QTest::keyClick(width, Qt::Key_Tab);
        QCOMPARE(messages.texts.size(), 1);
        // The window manager activates the window again once the box is gone.
        QVERIFY(showActive(*window));
        QVERIFY(width->hasFocus());
        QCOMPARE(width->selectedText(), QStringLiteral("64o"));
        QTest::keyClicks(width, QStringLiteral("640"));
        QTest::keyClick(width, Qt::Key_Tab);
        QCOMPARE(window->settings().outputWidth, 640u);
        QCOMPARE(messages.texts.size(), 1);
    }

    void fileListBoxShowsTheFileListOrder() {
        auto window = makeWindow();
        for (const char* name : {"b.png", "A.png", "c.png", "_x.png", "B.png"}) {
            window->fileList().add(name);
        }
        window->refreshControls(false);
        auto* box = child<QListWidget>(*window, "fileListBox");
        QStringList shown;
        for (int i = 0; i < box->count(); ++i) shown << box->item(i)->text();
        QCOMPARE(shown, (QStringList{"_x.png", "A.png", "B.png", "b.png", "c.png"}));
        window->refreshControls(true);
        QCOMPARE(box->count(), 0);
        QCOMPARE(window->fileList().count(), 0);
    }

    void imageBrowseAppendsOnlyForATypeFilter_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("nextFirst");
        row("JPEG filter, bare name", 2, "atlas", "atlas.jpg", "JPEG Images (*.jpg)");
        row("JPEG filter, name with extension", 2, "atlas.png", "atlas.png", "PNG Images (*.png)");
        row("All Files, bare name", 7, "atlas", "atlas", "PNG Images (*.png)");
        row("TIFF filter, dotted name", 6, "atlas.v2", "atlas.v2", "PNG Images (*.png)");
    }
    void imageBrowseAppendsOnlyForATypeFilter() {
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, nextFirst);
        auto window = makeWindow();
        auto* browse = child<QPushButton>(*window, "outputImageBrowseButton");
        const QString chosen = QString::fromStdString(dir_->file(typed.toStdString()));
        QStringList offered;
        answerFileDialog(filter, chosen, &offered);
        browse->click();
        QCOMPARE(offered,
                 (QStringList{"PNG Images (*.png)", "JPEG Images (*.jpg)",
                              "Windows BMP Images (*.bmp)", "RGB Images (*.rgb)",
                              "Targa Images (*.tga)", "TIFF Images (*.tif)", "All Files (*)"}));
        QCOMPARE(QString::fromStdString(window->settings().outputImageFile),
                 QString::fromStdString(dir_->file(stored.toStdString())));
        QCOMPARE(QString::fromStdString(window->settings().imageBrowsePath), chosen);
        QCOMPARE(edit(*window, "outputImageEdit")->text(),
                 QString::fromStdString(window->settings().outputImageFile));
        cancelFileDialog(&offered);
        browse->click();
        QCOMPARE(offered.first(), nextFirst);
        QCOMPARE(offered.last(), QStringLiteral("All Files (*)"));
    }

    void saveSettingsAddsCfgOnlyUnderItsFilter_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        row("settings filter, bare name", 1, "opts", "opts.cfg");
        row("settings filter, other extension", 1, "opts.dat", "opts.dat");
        row("All Files, bare name", 2, "opts", "opts");
    }
    void saveSettingsAddsCfgOnlyUnderItsFilter() {
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        auto window = makeWindow();
        const std::string chosen = dir_->file(typed.toStdString());
        const std::string target = dir_->file(written.toStdString());
        window->fileList().add("a.png");
        QStringList offered;
        answerFileDialog(filter, QString::fromStdString(chosen), &offered);
        child<QPushButton>(*window, "saveSettingsButton")->click();
        QCOMPARE(offered, (QStringList{"Settings Files (*.cfg)", "All Files (*)"}));
        QCOMPARE(readFile(target).size(), kSettingsFileSize);
        if (target != chosen) QVERIFY(!fileExists(chosen));
        QCOMPARE(window->settings().saveSettingsPath, chosen);
        QCOMPARE(window->statusText(), "Saved file: " + target);
        QCOMPARE(child<QLabel>(*window, "statusLabel")->text(),
                 QString::fromStdString("Saved file: " + target));
        QCOMPARE(window->fileList().count(), 0);
    }

    void loadSettingsTakesTheStoredFields() {
        JobSettings stored = defaultJobSettings();
        stored.loadSettingsPath = "/stored/in/the/file/";
        stored.cropAlpha = 1000;
        stored.outputWidth = 1024;
        stored.changeCase = 2;
        stored.sortOrder = 2;
        const std::string path = dir_->file("other.cfg");
        QVERIFY(saveSettingsFile(stored, path));
        auto window = makeWindow();
        window->fileList().add("a.png");
        window->refreshControls(false);
        answerFileDialog(1, QString::fromStdString(path));
        child<QPushButton>(*window, "loadSettingsButton")->click();
        QCOMPARE(window->settings().loadSettingsPath, stored.loadSettingsPath);
        QCOMPARE(window->settings().cropAlpha, 255u);
        QCOMPARE(edit(*window, "outputWidthEdit")->text(), QStringLiteral("1024"));
        QCOMPARE(child<QComboBox>(*window, "changeCaseCombo")->currentIndex(), 2);
        QVERIFY(child<QRadioButton>(*window, "sortRandomRadio")->isChecked());
        QVERIFY(edit(*window, "randomSeedEdit")->isEnabled());
        QCOMPARE(window->statusText(), "Loaded file: " + path);
        QCOMPARE(child<QListWidget>(*window, "fileListBox")->count(), 0);
    }

    void helpOpensFromTheButtonAndF1_data() {
        QTest::addColumn<bool>("key");
        QTest::newRow("Help! button") << false;
        QTest::newRow("F1") << true;
    }
    void helpOpensFromTheButtonAndF1() {
        QFETCH(bool, key);
        auto window = makeWindow();
        QVERIFY(showActive(*window));
        const auto askForHelp = [&] {
            if (key) {
                QTest::keyClick(edit(*window, "outputWidthEdit"), Qt::Key_F1);
            } else {
                child<QPushButton>(*window, "helpButton")->click();
            }
        };
        MessageBoxWatch messages;
        askForHelp();
        QCOMPARE(messages.texts,
                 QStringList(QString::fromStdString("Could not find the help file:\n" +
                                                    dir_->file("Tilvane_Help.pdf"))));
        QVERIFY(desktopCalls_.empty());
        writeFile(dir_->file("Tilvane_Help.pdf"), "%PDF-1.4\n");
        QVERIFY(showActive(*window));  // as the window manager does after the box
        askForHelp();
        QCOMPARE(desktopCalls_.size(), std::size_t{1});
        QCOMPARE(int(desktopCalls_[0].request), int(DesktopRequest::OpenDocument));
        QCOMPARE(desktopCalls_[0].path, dir_->file("Tilvane_Help.pdf"));
    }

    void inputFolderChooserLeavesTheWindowUsable() {
        auto window = makeWindow();
        window->show();
        child<QPushButton>(*window, "inputFolderBrowseButton")->click();
        auto* chooser = window->findChild<QFileDialog*>(QStringLiteral("inputFolderChooser"));
        QVERIFY(chooser && chooser->isVisible());
        QCOMPARE(chooser->windowModality(), Qt::NonModal);
        QVERIFY(!QApplication::activeModalWidget() ||
                QApplication::activeModalWidget() == window.get());
        QVERIFY(QDir().mkpath(QString::fromStdString(dir_->folder() + "pick")));
        chooser->setDirectory(QString::fromStdString(dir_->folder()));
        chooser->selectFile(QStringLiteral("pick"));
        MessageBoxWatch messages;
        static_cast<QDialog*>(chooser)->accept();
        QCOMPARE(messages.texts, QStringList());
        QCOMPARE(window->settings().inputFolder, dir_->folder() + "pick/");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
