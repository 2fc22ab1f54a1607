#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <cstddef>
#include <memory>
#include <string>

#include "app/dialog_units.h"
#include "app/startup_paths.h"
#include "job/job.h"
#include "job/job_events.h"
#include "model/build_run.h"
#include "model/file_list.h"
#include "model/job_settings.h"
#include "model/window_services.h"

class QComboBox;
class QFileDialog;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace Ui {
class MainDialog;
}

namespace tilvane {

class AtlasPreview;
class MoreOptionsPanel;

// The program's window: every setting in a control, the commands, and the host
// of the build. It owns the settings and the build's state for its whole life,
// and is the window services of the build and the settings commands.
//
// Construction is the window's initialisation: defaults, the default settings
// file, the build timer (never stopped) and the first refresh with refill.
// Destruction is its shutdown: the settings go to the default settings file,
// however the window was closed, and the build is released.
//
// A build runs on this thread in slices: each tick of the timer runs steps
// back to back for about a frame (at least 15 ms), then the window paints and
// takes input; the timer ticks at once while a build is armed and every 100 ms
// otherwise. The steps, their order and their files are the pipeline's own.
// While a build runs, GO!, Save Settings and Load Settings are disabled and
// Cancel (or Escape) stops it between files, replacing no output.
class MainDialog : public QDialog, public WindowServices {
    Q_OBJECT

public:
    explicit MainDialog(StartupPaths paths, QWidget* parent = nullptr);
    ~MainDialog() override;

    JobSettings& settings() { return settings_; }
    // The options beyond the described ones, beside the described controls.
    MoreOptionsPanel& moreOptions() { return *moreOptions_; }
    // The atlas of the last build that wrote its files, in a window of its own.
    AtlasPreview& preview() { return *preview_; }
    BuildRun& run() { return runner_.run(); }
    const StartupPaths& paths() const { return paths_; }
    const DialogUnits& dialogUnits() const { return units_; }

    // Data exchange into the record, controls in the fixed order. A number
    // edit that is not an unsigned decimal number stops it there: the user is
    // told, the focus goes back to that edit, later fields keep their values,
    // and the result is false.
    bool commitControls();
    // Data exchange out of the record into every control and the status line.
    void showFields();

    // WindowServices.
    const std::string& statusText() const override { return statusText_; }
    void setStatusText(std::string text) override { statusText_ = std::move(text); }
    void refreshControls(bool refill) override;
    FileList& fileList() override { return runner_.run().fileList; }
    void showMessage(const std::string& text) override;
    void showReport(const std::vector<std::string>& failureLines, const std::string& imagePath,
                    const std::string& textPath, int added, int failed) override;
    void showDone(const std::string& imagePath, const std::string& textPath, int added) override;
    std::optional<std::string> chooseFile(bool save, const std::string& title,
                                          std::string& initialPath,
                                          const std::vector<FileFilter>& filters,
                                          int* filterIndex) override;
    void openInExplorer(const std::string& path, bool select) override;
    bool runImageOptionsDialog(const std::string& title, std::int32_t* quality,
                               std::int32_t qualityMin, std::int32_t qualityMax,
                               std::int32_t* compression,
                               std::span<const CompressionChoice> choices) override;

    // Ends the dialog. Every way out comes here: Close after its commit, and
    // Escape and the close box without one. From here until the window is
    // shown again no control commits when it loses the focus, so the focus
    // moves that hiding the window causes commit nothing.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Escape while a build runs cancels it; otherwise it ends the dialog.
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void ignoreEnter();
    void browseInputFolder();
    void takeInputFolder(int result);
    void browseOutputImage();
    void browseOutputText();
    void openInputFolder();
    void showOutputImage();
    void showOutputText();
    void openHelp();
    void saveSettings();
    void loadSettings();
    void startBuild();
    void closeWithCommit();
    void tickBuildTimer();
    void showAbout();
    void takeTextFormat();
    void takeChangeCase();
    void takeCropMode();
    void commitAndRefresh();
    void cancelBuild();

private:
    void connectControls();
    void fillChoiceLists();
    void applyEnablingRules();
    void syncFileListBox();
    // A control left: what its row of the control table does.
    void leaveControl(QObject* control);
    // Commit, trim the text field, optionally add the trailing separator, show.
    void commitTrimmed(std::string& field, bool trailingSeparator);
    enum class OutputKind { Image, Text };
    void browseOutput(OutputKind kind);
    // The selected line of a combo box; -1 when none is (typing clears it).
    static int selectedIndex(const QComboBox& combo);
    // The progress row shows the last progress the build told.
    void showProgress();
    // Commits the field that has the focus and was typed into, as leaving it
    // would (a mnemonic runs a command without moving the focus); false when
    // its number was refused.
    bool takeFocusedField();
    // The file dialog of chooseFile, starting at currentFile (its folder and
    // name) when that is given, else as chooseFile starts.
    std::optional<std::string> chooseFileAt(bool save, const std::string& title,
                                            std::string& initialPath,
                                            const std::string& currentFile,
                                            const std::vector<FileFilter>& filters,
                                            int* filterIndex);
    // Opens what the desktop opens, or says that it could not.
    void openOrSay(const std::string& path, bool select);

    std::unique_ptr<Ui::MainDialog> ui_;
    StartupPaths paths_;
    DialogUnits units_;
    JobSettings settings_;
    // A child of the window, which owns it.
    MoreOptionsPanel* moreOptions_ = nullptr;
    // Cleared as a build starts, filled as it ends with Done or the Report.
    AtlasPreview* preview_ = nullptr;
    std::string statusText_;
    // The build's events shown through the window's own services.
    class BuildEvents : public JobEvents {
    public:
        explicit BuildEvents(MainDialog& dialog) : dialog_(dialog) {}
        // Shown at once, except a step's "Adding: NAME": that one is shown
        // when its slice of steps ends, so at most once a frame.
        void status(const std::string& text) override;
        void progress(JobPhase, std::size_t done, std::size_t total, std::string_view) override {
            dialog_.progressDone_ = done;
            dialog_.progressTotal_ = total;
        }
        void message(const std::string& text) override { dialog_.showMessage(text); }
        // The empty image files the folder held are listed too.
        void report(const std::vector<std::string>& failureLines, const std::string& imagePath,
                    const std::string& textPath, int added, int failed) override;
        // With empty image files left out, the Report lists them instead.
        void done(const std::string& imagePath, const std::string& textPath, int added) override;
        bool askSaveOptions(SaveOptionsQuestion& question) override;
        bool cancelRequested() override { return dialog_.cancelRequested_; }

    private:
        MainDialog& dialog_;
    };
    BuildEvents events_{*this};
    JobRunner runner_{events_};
    QTimer buildTimer_{this};
    QPointer<QFileDialog> folderChooser_;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    std::size_t progressDone_ = 0;
    std::size_t progressTotal_ = 0;
    // Set by Cancel or Escape; the build reads it before its next file.
    bool cancelRequested_ = false;
    // Set while a data exchange or its message runs, so that the focus moves it
    // causes do not start another one.
    bool exchanging_ = false;
    // Set from the dialog's end until it is shown again (see done()).
    bool ending_ = false;
};

}  // namespace tilvane
