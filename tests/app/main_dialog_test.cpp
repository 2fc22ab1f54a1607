// The main window: data exchange, refresh rules, keys, browse procedures and
// the settings commands.
#include "app/main_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTest>

#include "app/desktop_open.h"
#include "app/gui_test_support.h"
#include "app/more_options_panel.h"
#include "app/startup_paths.h"
#include "model/path_helpers.h"
#include "settings/extension_options.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

using namespace tilvane;
using namespace tilvane::testing;

class MainDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> dir_;
    std::vector<std::pair<DesktopRequest, std::string>> desktopCalls_;

    std::unique_ptr<MainDialog> makeWindow() {
        return std::make_unique<MainDialog>(startupPathsIn(dir_->folder()));
    }
    template <class T = QLineEdit>
    static T* child(MainDialog& window, const QString& name) {
        T* widget = window.findChild<T*>(name);
        if (!widget) qFatal("no control named %s", qPrintable(name));
        return widget;
    }

private slots:
    void init() {
        dir_ = std::make_unique<TempDir>();
        desktopCalls_.clear();
        setDesktopHandler([this](DesktopRequest request, const std::string& path) {
            desktopCalls_.emplace_back(request, path);
        });
    }
    void cleanup() {
        setDesktopHandler({});
        dir_.reset();
        QCOMPARE(leakedTopLevelWidgets(), QStringList());
    }

    // XDG_CONFIG_HOME unset, the common case, is the xvfb test's.
    void settingsFileLocationRule_data() {
        QTest::addColumn<QString>("xdgConfigHome");  // "-": unset; "/...": below the folder
        QTest::addColumn<bool>("fileBeside");
        QTest::addColumn<QString>("expected");  // below the temporary folder
        const QString home = QStringLiteral("/home/.config/tilvane");
        row("XDG_CONFIG_HOME relative", "rel", false, home);
        row("XDG_CONFIG_HOME honoured", "/xdg", false, "/xdg/tilvane");
        row("portable install", "/xdg", true, "/bin");
    }
    void settingsFileLocationRule() {
        QFETCH(QString, xdgConfigHome);
        QFETCH(bool, fileBeside);
        QFETCH(QString, expected);
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME")
                               : qputenv("XDG_CONFIG_HOME", oldConfig);
        });
        const QString root = QString::fromStdString(dir_->path().string());
        const std::string bin = dir_->folder() + "bin/";
        QVERIFY(QDir().mkpath(QString::fromStdString(bin)));
        qputenv("HOME", (root + "/home").toUtf8());
        qunsetenv("XDG_CONFIG_HOME");
        if (xdgConfigHome != "-") {
            qputenv("XDG_CONFIG_HOME",
                    ((xdgConfigHome.startsWith('/') ? root : QString()) + xdgConfigHome).toUtf8());
        }
        JobSettings portable = defaultJobSettings();
        portable.outputWidth = 1000;
        if (fileBeside) QVERIFY(saveSettingsFile(portable, bin + "Settings.cfg"));
        const std::string path = (root + expected + "/Settings.cfg").toStdString();
        {
            MainDialog window(startupPathsFor(bin));
            QCOMPARE(window.paths().settingsFile, path);
            QCOMPARE(window.settings(), expected == "/bin" ? portable : defaultJobSettings());
        }
        QVERIFY(fileExists(path));  // its folder made when missing
        // Nothing is written beside a program that is not a portable install.
        QCOMPARE(fileExists(bin + "Settings.cfg"), fileBeside);
    }

    void leavingAFieldNormalisesIt_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
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
        QLineEdit* field = child(*window, control);
        field->setText(typed);
        leave(field);
        QCOMPARE(field->text(), shown);
        if (control == "outputTextEdit") QCOMPARE(window->run().textFileType, 3);
    }

    void enablingRules_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("dependent");
        QTest::addColumn<bool>("enabled");
        row("crop No", "cropModeCombo", 0, "cropAlphaEdit", false);
        row("crop Yes", "cropModeCombo", 1, "cropAlphaEdit", true);
        row("tabs off", "convertTabsCheck", 0, "tabSizeEdit", false);
        row("tabs on", "convertTabsCheck", 1, "tabSizeEdit", true);
        row("alphabetical", "sortAlphabeticalRadio", 1, "randomSeedEdit", false);
        row("random", "sortRandomRadio", 1, "randomSeedEdit", true);
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
        if (auto* combo = window->findChild<QComboBox*>(control)) {
            combo->setCurrentIndex(choice);
            emit combo->activated(choice);
        } else if (auto* button = child<QAbstractButton>(*window, control);
                   button->isChecked() != (choice != 0)) {
            button->click();
        }
        QCOMPARE(child(*window, dependent)->isEnabled(), enabled);
    }

    // A refused number stops the data exchange there, whether the field is
    // left with Tab or Close is pressed; the field takes the focus back with
    // its text selected, and the number is taken once corrected.
    void refusedNumber() {
        auto window = makeWindow();
        QVERIFY(showActive(*window));
        JobSettings expected = window->settings();
        expected.outputWidth = 640;
        // Width comes before the border in the exchange order, the CSS
        // prefix after it.
        child(*window, "outputWidthEdit")->setText(QStringLiteral("640"));
        child(*window, "cssUrlPrefixEdit")->setText(QStringLiteral("7"));
        QLineEdit* border = child(*window, "borderSizeEdit");
        border->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(border, QStringLiteral("4294967296"));
        MessageBoxWatch messages;
        QTest::keyClick(border, Qt::Key_Tab);
        QCOMPARE(messages.captions, QStringList(QCoreApplication::applicationName()));
        QCOMPARE(window->settings(), expected);
        // The window manager activates the window again once the box is gone.
        QVERIFY(showActive(*window));
        QVERIFY(border->hasFocus());
        QCOMPARE(border->selectedText(), QStringLiteral("4294967296"));
        child<QPushButton>(*window, "closeButton")->click();
        QCOMPARE(messages.texts.size(), 2);
        QVERIFY(window->isVisible());
        QVERIFY(showActive(*window));
        QCOMPARE(border->selectedText(), QStringLiteral("4294967296"));
        QTest::keyClicks(border, QStringLiteral("5"));
        QTest::keyClick(border, Qt::Key_Tab);
        QCOMPARE(window->settings().borderSize, 5u);
        QCOMPARE(messages.texts.size(), 2);
    }

    // Enter neither closes, commits nor starts a build; Escape and the close
    // box close without committing; only Close commits. (A number typed and
    // Escape is also the xvfb test's, under a real window manager.)
    void closingCommitsOnlyThroughClose_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("way");
        row("text field, Escape", "inputFolderEdit", "ZZZ", "Escape");
        row("refused number, close box", "outputWidthEdit", "7x", "close box");
        row("number field, Close", "outputWidthEdit", "777", "Close");
        row("number field, Enter", "outputWidthEdit", "999", "Enter");
        row("combo box, Enter", "textFormatCombo", "", "Enter");
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
            auto* field = child<QWidget>(*window, control);
            field->setFocus(Qt::TabFocusReason);
            QVERIFY(field->hasFocus());
            QTest::keyClicks(field, typed);
            if (way == "Escape") {
                QTest::keyClick(field, Qt::Key_Escape);
            } else if (way == "close box") {
                window->close();
            } else if (way == "Close") {
                child<QPushButton>(*window, "closeButton")->click();
                expected.outputWidth = typed.toUInt();
            } else {
                QTest::keyClick(field, Qt::Key_Return);
                QTest::keyClick(field, Qt::Key_Enter);
                QCOMPARE(window->run().currentStep, -1);
            }
            QCOMPARE(window->isVisible(), way == "Enter");
            QCOMPARE(window->result(), int(way == "Close" ? QDialog::Accepted : QDialog::Rejected));
            // The deactivation that hiding causes may arrive later.
            QCoreApplication::processEvents();
        }
        QCOMPARE(messages.texts, QStringList());
        JobSettings saved = defaultJobSettings();
        loadSettingsFile(saved, dir_->file("Settings.cfg"));
        QCOMPARE(saved, expected);
    }

    void fileListBoxShowsTheFileListOrder() {
        auto window = makeWindow();
        for (const char* name : {"b.png", "A.png", "c.png", "_x.png", "B.png"}) {
            window->fileList().add(name);
        }
        window->refreshControls(false);
        auto* box = child<QListWidget>(*window, "fileListBox");
        QStringList names;
        for (int i = 0; i < box->count(); ++i) names << box->item(i)->text();
        QCOMPARE(names, (QStringList{"_x.png", "A.png", "B.png", "b.png", "c.png"}));
        window->refreshControls(true);
        QCOMPARE(box->count(), 0);
    }

    // The filter chosen adds its extension to a bare name, and the next
    // browse offers the type of the name kept first.
    void imageBrowse_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("nextFirst");
        row("JPEG filter, bare name", 2, "atlas", "atlas.jpg", "JPEG Images (*.jpg)");
        row("JPEG filter, name with extension", 2, "atlas.png", "atlas.png", "PNG Images (*.png)");
        row("All Files, bare name", 7, "atlas", "atlas", "PNG Images (*.png)");
    }
    void imageBrowse() {
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
        QCOMPARE(window->settings().outputImageFile, dir_->file(stored.toStdString()));
        QCOMPARE(QString::fromStdString(window->settings().imageBrowsePath), chosen);
        answerFileDialog(0, {}, &offered);
        browse->click();
        QCOMPARE(offered.first(), nextFirst);
    }

    // Save Settings, then Load Settings in another window reading that file.
    void settingsButtons_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        row("settings filter, bare name", 1, "opts", "opts.cfg");
        row("settings filter, other extension", 1, "opts.dat", "opts.dat");
        row("All Files, bare name", 2, "opts", "opts");
    }
    void settingsButtons() {
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        const std::string chosen = dir_->file(typed.toStdString());
        const std::string target = dir_->file(written.toStdString());
        auto saver = makeWindow();
        saver->settings().loadSettingsPath = "/stored/in/the/file/";
        saver->settings().outputWidth = 1024;
        saver->fileList().add("a.png");
        QStringList offered;
        answerFileDialog(filter, QString::fromStdString(chosen), &offered);
        child<QPushButton>(*saver, "saveSettingsButton")->click();
        QCOMPARE(offered, (QStringList{"Settings Files (*.cfg)", "All Files (*)"}));
        QCOMPARE(fileExists(chosen), chosen == target);
        QCOMPARE(saver->settings().saveSettingsPath, chosen);
        QCOMPARE(saver->statusText(), "Saved file: " + target);
        QCOMPARE(saver->fileList().count(), 0);

        auto loader = makeWindow();
        answerFileDialog(1, QString::fromStdString(target));
        child<QPushButton>(*loader, "loadSettingsButton")->click();
        QCOMPARE(loader->settings().loadSettingsPath, "/stored/in/the/file/");
        QCOMPARE(child(*loader, "outputWidthEdit")->text(), QStringLiteral("1024"));
        QCOMPARE(loader->statusText(), "Loaded file: " + target);
    }

    // Every option of the extension table has its control in "More options",
    // bound to the settings file's extension block: what the controls show is
    // saved, loaded back into the controls, and nothing when all are at their
    // defaults (the file is then the 28 fields alone).
    void moreOptionsRideInTheSettingsFile() {
        auto saver = makeWindow();
        MoreOptionsPanel& panel = saver->moreOptions();
        for (const ExtensionOption& row : extensionOptions()) {
            QWidget* control = panel.control(row.key);
            QVERIFY2(control && control->isEnabled(), row.key.c_str());
        }
        QCOMPARE(panel.entries(), std::vector<ExtensionEntry>{});
        const std::string cfg = dir_->file("more.cfg");
        answerFileDialog(1, QString::fromStdString(cfg));
        child<QPushButton>(*saver, "saveSettingsButton")->click();
        QCOMPARE(readFile(cfg).size(), kSettingsFileSize);

        static_cast<QComboBox*>(panel.control("fit"))->setCurrentIndex(1);
        static_cast<QComboBox*>(panel.control("format"))->setCurrentIndex(1);
        static_cast<QSpinBox*>(panel.control("extrude"))->setValue(3);
        static_cast<QCheckBox*>(panel.control("alias"))->setChecked(true);
        const std::vector<ExtensionEntry> chosen = {
            {"fit", "any"}, {"format", "hash"}, {"extrude", "3"}, {"alias", "1"}};
        QCOMPARE(panel.entries(), chosen);
        const std::string chosenCfg = dir_->file("chosen.cfg");
        answerFileDialog(1, QString::fromStdString(chosenCfg));
        child<QPushButton>(*saver, "saveSettingsButton")->click();

        auto loader = makeWindow();
        answerFileDialog(1, QString::fromStdString(chosenCfg));
        child<QPushButton>(*loader, "loadSettingsButton")->click();
        QCOMPARE(loader->moreOptions().entries(), chosen);
        QCOMPARE(static_cast<QComboBox*>(loader->moreOptions().control("fit"))->currentIndex(), 1);
        QCOMPARE(loader->statusText(), "Loaded file: " + chosenCfg);

        // A value the table refuses is said in the status line and left at its default.
        writeFile(cfg, encodeSettings(defaultJobSettings(), {{"fit", "round"}, {"alias", "1"}}));
        answerFileDialog(1, QString::fromStdString(cfg));
        child<QPushButton>(*loader, "loadSettingsButton")->click();
        QCOMPARE(loader->moreOptions().entries(), (std::vector<ExtensionEntry>{{"alias", "1"}}));
        QCOMPARE(loader->statusText(),
                 "Loaded file: " + cfg + "; fit=round: not one of any|pot|square|pot-square");
    }

    // Help! and F1: the help document opened, or a message naming it.
    void helpFromTheButtonAndF1() {
        auto window = makeWindow();
        QVERIFY(showActive(*window));
        const std::string help = dir_->file("Tilvane_Help.pdf");
        MessageBoxWatch messages;
        child<QPushButton>(*window, "helpButton")->click();
        QCOMPARE(messages.texts,
                 QStringList(QString::fromStdString("Could not find the help file:\n" + help)));
        QVERIFY(desktopCalls_.empty());
        writeFile(help, "%PDF-1.4\n");
        QVERIFY(showActive(*window));  // as the window manager does after the box
        QTest::keyClick(child(*window, "outputWidthEdit"), Qt::Key_F1);
        QCOMPARE(desktopCalls_, (decltype(desktopCalls_){{DesktopRequest::OpenDocument, help}}));
    }

    // The folder chooser leaves the window usable and hands back the folder
    // with its separator.
    void inputFolderBrowse() {
        auto window = makeWindow();
        window->show();
        child<QPushButton>(*window, "inputFolderBrowseButton")->click();
        auto* chooser = child<QFileDialog>(*window, "inputFolderChooser");
        QVERIFY(chooser->isVisible());
        QVERIFY(QApplication::activeModalWidget() != chooser);
        QVERIFY(QDir().mkpath(QString::fromStdString(dir_->folder() + "pick")));
        chooser->setDirectory(QString::fromStdString(dir_->folder()));
        chooser->selectFile(QStringLiteral("pick"));
        static_cast<QDialog*>(chooser)->accept();
        QCOMPARE(window->settings().inputFolder, dir_->folder() + "pick/");
    }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
