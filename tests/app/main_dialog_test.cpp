// The main window: data exchange, refresh rules, keys, browse procedures and
// the settings commands.
#include "app/main_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QUrl>

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
    // What the desktop answers: false as when no launcher is installed.
    bool desktopAnswers_ = true;

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
        desktopAnswers_ = true;
        setDesktopHandler([this](DesktopRequest request, const std::string& path) {
            desktopCalls_.emplace_back(request, path);
            return desktopAnswers_;
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
        // prefix after it. (The focus leaves the first field before they change.)
        QLineEdit* border = child(*window, "borderSizeEdit");
        border->setFocus(Qt::TabFocusReason);
        child(*window, "outputWidthEdit")->setText(QStringLiteral("640"));
        child(*window, "cssUrlPrefixEdit")->setText(QStringLiteral("7"));
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
        row("typing into the Output Format list, Close", "textFormatCombo", "zz", "Close");
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
                if (control == "outputWidthEdit") expected.outputWidth = typed.toUInt();
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
        for (const char* name : {"b.png", "A.png", "c.png", "_x.png", "B.png"})
            window->fileList().add(name);
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
        window->settings().outputImageFile = dir_->file("current.png");
        QStringList offered, opened;
        answerFileDialog(filter, chosen, &offered, &opened);
        browse->click();
        // It opens at the file the field names.
        QCOMPARE(opened,
                 (QStringList{"Image File", QString::fromStdString(dir_->file("current.png"))}));
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
        QStringList offered, opened;
        answerFileDialog(filter, QString::fromStdString(chosen), &offered, &opened);
        child<QPushButton>(*saver, "saveSettingsButton")->click();
        QCOMPARE(offered, (QStringList{"Settings Files (*.cfg)", "All Files (*)"}));
        QCOMPARE(opened.value(0), QStringLiteral("Save Settings"));
        QCOMPARE(fileExists(chosen), chosen == target);
        QCOMPARE(saver->settings().saveSettingsPath, chosen);
        QCOMPARE(saver->statusText(), "Saved file: " + target);
        QCOMPARE(saver->fileList().count(), 0);

        auto loader = makeWindow();
        loader->settings().loadSettingsPath = target;
        answerFileDialog(1, QString::fromStdString(target), nullptr, &opened);
        child<QPushButton>(*loader, "loadSettingsButton")->click();
        // It opens at the file last loaded, with its name.
        QCOMPARE(opened, (QStringList{"Load Settings", QString::fromStdString(target)}));
        QCOMPARE(loader->settings().loadSettingsPath, "/stored/in/the/file/");
        QCOMPARE(child(*loader, "outputWidthEdit")->text(), QStringLiteral("1024"));
        QCOMPARE(loader->statusText(), "Loaded file: " + target);
    }

    // Load Settings takes only a settings file (bytes after its fields are
    // allowed); any other leaves every field and the status as they were.
    void loadSettingsRefusesOtherFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");  // empty: loaded
        row("an image", "tga", "(it holds 18 bytes; a settings file holds 20552)");
        row("a text field not ended by a zero", "unended",
            "(its field for the output image path does not end in a zero byte)");
        row("a settings file with more bytes after it", "longer", "");
    }
    void loadSettingsRefusesOtherFiles() {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        JobSettings other = defaultJobSettings();
        other.outputWidth = 77;
        std::string bytes = encodeSettings(other);
        if (kind == "tga") bytes = std::string(18, '\0');
        if (kind == "unended") bytes[2 * kSettingsTextBlock - 1] = 'x';
        if (kind == "longer") bytes += "TLVX....";
        const std::string path = dir_->file("picked.cfg");
        writeFile(path, bytes);
        auto window = makeWindow();
        window->setStatusText("before");
        const JobSettings before = window->settings();
        MessageBoxWatch messages;
        answerFileDialog(1, QString::fromStdString(path));
        child<QPushButton>(*window, "loadSettingsButton")->click();
        if (why.isEmpty()) {
            QCOMPARE(messages.texts, QStringList());
            QCOMPARE(window->settings().outputWidth, 77u);
        } else {
            QCOMPARE(
                messages.texts,
                QStringList(QString::fromStdString("This is not a settings file:\n" + path + "\n") +
                            why));
            QCOMPARE(window->settings(), before);
            QCOMPARE(window->statusText(), "before");
        }
    }

    // A folder dropped on the window becomes the Input Folder, a file's folder
    // too; a drop that names no local folder is refused and changes nothing.
    void dropSetsTheInputFolder_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("folder");  // empty: refused
        row("a folder", "file://$D/in", "$D/in/");
        row("a file", "file://$D/in/a.png", "$D/in/");
        row("not local", "https://example.com/in/", "");
        row("missing", "file://$D/gone", "");
    }
    void dropSetsTheInputFolder() {
        QFETCH(QString, url);
        QFETCH(QString, folder);
        const QString d = QString::fromStdString(dir_->folder()).chopped(1);
        QDir().mkpath(d + "/in");
        writeFile(dir_->file("in/a.png"), "x");
        auto window = makeWindow();
        const std::string before = window->settings().inputFolder;
        QMimeData data;
        data.setUrls({QUrl(QString(url).replace("$D", d))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QCOMPARE(enter.isAccepted(), !folder.isEmpty());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
        const std::string want =
            folder.isEmpty() ? before : QString(folder).replace("$D", d).toStdString();
        QCOMPARE(window->settings().inputFolder, want);
        QCOMPARE(child(*window, "inputFolderEdit")->text().toStdString(), want);
    }

    // Every option of the extension table has its control in "More options",
    // bound to the settings file's extension block: what the controls show is
    // saved and loaded back into the controls; at their defaults they give no
    // entry (and settings_file_test pins that no entry writes no block).
    void moreOptionsRideInTheSettingsFile() {
        auto saver = makeWindow();
        MoreOptionsPanel& panel = saver->moreOptions();
        for (const ExtensionOption& row : extensionOptions()) {
            QWidget* control = panel.control(row.key);
            QVERIFY2(control && control->isEnabled(), row.key.c_str());
        }
        QCOMPARE(panel.entries(), std::vector<ExtensionEntry>{});
        static_cast<QComboBox*>(panel.control("fit"))->setCurrentIndex(1);
        static_cast<QSpinBox*>(panel.control("extrude"))->setValue(3);
        static_cast<QCheckBox*>(panel.control("alias"))->setChecked(true);
        // Unset (lossless) is the value below the least.
        static_cast<QSpinBox*>(panel.control("webp-quality"))->setValue(0);
        const std::vector<ExtensionEntry> chosen = {
            {"fit", "any"}, {"extrude", "3"}, {"alias", "1"}, {"webp-quality", "0"}};
        QCOMPARE(panel.entries(), chosen);
        const std::string chosenCfg = dir_->file("chosen.cfg");
        answerFileDialog(1, QString::fromStdString(chosenCfg));
        child<QPushButton>(*saver, "saveSettingsButton")->click();

        auto loader = makeWindow();
        answerFileDialog(1, QString::fromStdString(chosenCfg));
        child<QPushButton>(*loader, "loadSettingsButton")->click();
        QCOMPARE(loader->moreOptions().entries(), chosen);
        QCOMPARE(loader->statusText(), "Loaded file: " + chosenCfg);

        // A value the table refuses is said in the status line and left at its default.
        const std::string cfg = dir_->file("more.cfg");
        writeFile(cfg, encodeSettings(defaultJobSettings(), {{"fit", "round"}, {"alias", "1"}}));
        answerFileDialog(1, QString::fromStdString(cfg));
        child<QPushButton>(*loader, "loadSettingsButton")->click();
        QCOMPARE(loader->moreOptions().entries(), (std::vector<ExtensionEntry>{{"alias", "1"}}));
        QCOMPARE(loader->statusText(),
                 "Loaded file: " + cfg + "; fit=round: not one of any|pot|square|pot-square");
    }

    // Help!, F1 and Op: the desktop asked, or a message naming the file or
    // folder when it could not be (no launcher installed).
    void desktopCommands_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("launcher");
        QTest::addColumn<QString>("message");  // $H: the help file, $D: the folder
        row("Help!, no help file", "helpButton", true, "Could not find the help file:\n$H");
        row("F1", "F1", true, "");
        const QString none =
            "\n\nNo program to open it was found (xdg-open, of the package xdg-utils).";
        row("Help!, no launcher", "helpButton", false, "Could not open the file:\n$H" + none);
        row("Op, no launcher", "inputFolderOpenButton", false,
            "Could not open the folder:\n$D" + none);
    }
    void desktopCommands() {
        QFETCH(QString, command);
        QFETCH(bool, launcher);
        QFETCH(QString, message);
        auto window = makeWindow();
        QVERIFY(showActive(*window));
        desktopAnswers_ = launcher;
        const std::string help = dir_->file("Tilvane_Help.pdf");
        if (!message.startsWith("Could not find")) writeFile(help, "%PDF-1.4\n");
        window->settings().inputFolder = dir_->folder();
        window->refreshControls(false);
        MessageBoxWatch messages;
        if (command == "F1") {
            QTest::keyClick(child(*window, "outputWidthEdit"), Qt::Key_F1);
        } else {
            child<QPushButton>(*window, command)->click();
        }
        QString expected = message;
        expected.replace("$H", QString::fromStdString(help))
            .replace("$D", QString::fromStdString(dir_->folder()));
        QCOMPARE(messages.texts, expected.isEmpty() ? QStringList() : QStringList(expected));
        if (command == "F1") {
            QCOMPARE(desktopCalls_,
                     (decltype(desktopCalls_){{DesktopRequest::OpenDocument, help}}));
        }
    }

    // At any scale the window lies on the screen and every button can be
    // scrolled into view there; on a 1280x900 screen at scale 1 nothing
    // needs scrolling. (CTest runs this at scale 2 too.)
    void windowFitsTheScreen() {
        auto window = makeWindow();
        QVERIFY(showActive(*window));
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY(screen.contains(window->geometry()));
        auto* scroll = child<QScrollArea>(*window, "pageScroll");
        QCOMPARE(scroll->verticalScrollBar()->maximum() > 0, qgetenv("QT_SCALE_FACTOR") == "2");
        const QRect view(scroll->viewport()->mapToGlobal(QPoint(0, 0)), scroll->viewport()->size());
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            scroll->ensureWidgetVisible(button, 0, 0);
            const QRect place(button->mapToGlobal(QPoint(0, 0)), button->size());
            const bool paged = scroll->widget()->isAncestorOf(button);
            QVERIFY2(screen.contains(place) && (!paged || view.contains(place)),
                     qPrintable(button->objectName()));
        }
    }

    // The keyboard: the focus starts on the first field, a label's mnemonic
    // takes it to its field, GO! answers Alt+G, and each takes what was typed
    // in the field left (GO! without moving the focus); every button and
    // labelled field has a mnemonic; an empty file list shows its focus.
    void keyboardReachesTheControls_data() {
        QTest::addColumn<int>("key");  // with Alt, "zz" typed as Output Image File
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("taken");
        row("no key", 0, "outputImageEdit", "", false);
        row("Alt+I", int(Qt::Key_I), "inputFolderEdit", "", true);
        row("Alt+F", int(Qt::Key_F), "textFormatCombo", "", true);
        row("Alt+Y", int(Qt::Key_Y), "gridAlignYEdit", "", true);
        row("Alt+0: crop alpha, disabled", int(Qt::Key_0), "outputImageEdit", "", false);
        row("Alt+G", int(Qt::Key_G), "outputImageEdit", "Unsupported Output Image File format.",
            true);
    }
    void keyboardReachesTheControls() {
        QFETCH(int, key);
        QFETCH(QString, focused);
        QFETCH(QString, message);
        QFETCH(bool, taken);
        auto window = makeWindow();
        window->settings().outputImageFile.clear();
        window->refreshControls(false);
        QVERIFY(showActive(*window));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("inputFolderEdit"));
        QLineEdit* image = child(*window, "outputImageEdit");
        image->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(image, QStringLiteral("zz"));
        MessageBoxWatch messages;
        if (key != 0) QTest::keyClick(window.get(), Qt::Key(key), Qt::AltModifier);
        QTRY_COMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList(message));
        QCOMPARE(window->focusWidget()->objectName(), focused);
        QCOMPARE(window->settings().outputImageFile, taken ? "zz" : "");
        for (QLabel* label : window->findChildren<QLabel*>())
            if (label->text().contains('&')) QVERIFY2(label->buddy(), qPrintable(label->text()));
        // Every button has a mnemonic; a command's is no other control's, so it
        // clicks rather than cycles the focus.
        QStringList mnemonics;
        const QStringList commands = {"goButton",   "closeButton",  "saveSettingsButton",
                                      "helpButton", "cancelButton", "loadSettingsButton"};
        // The preview is a window of its own, with its own keys.
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (w->window() != window.get()) continue;
            const QString text = w->property("text").toString();
            const qsizetype at = text.indexOf('&');
            if (at >= 0 && at + 1 < text.size()) mnemonics << text.mid(at + 1, 1).toLower();
        }
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            if (button->window() != window.get()) continue;
            const QString text = button->text();
            QVERIFY2(text.contains(QRegularExpression("&[A-Za-z0-9]")) ||
                         button->focusPolicy() == Qt::NoFocus,
                     qPrintable(button->objectName()));
            const QString letter = text.mid(text.indexOf('&') + 1, 1).toLower();
            if (commands.contains(button->objectName()))
                QVERIFY2(mnemonics.count(letter) == 1, qPrintable(text));
        }
        QVERIFY(showActive(*window));  // as the window manager does after a message
        auto* list = child<QListWidget>(*window, "fileListBox");
        const QImage unfocused = list->grab().toImage();
        list->setFocus(Qt::TabFocusReason);
        QVERIFY(list->grab().toImage() != unfocused);
    }

    // The folder chooser leaves the window usable and hands back the folder
    // with its separator.
    void inputFolderBrowse() {
        auto window = makeWindow();
        window->show();
        QVERIFY(QDir().mkpath(QString::fromStdString(dir_->folder() + "current")));
        window->settings().inputFolder = dir_->folder() + "current/";
        child<QPushButton>(*window, "inputFolderBrowseButton")->click();
        auto* chooser = child<QFileDialog>(*window, "inputFolderChooser");
        QVERIFY(chooser->isVisible());
        QCOMPARE(chooser->directory().absolutePath(),
                 QString::fromStdString(dir_->folder() + "current"));
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
