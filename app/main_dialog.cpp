#include "app/main_dialog.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <algorithm>
#include <cstdio>
#include <limits>

#include "app/app_icon.h"
#include "app/atlas_preview.h"
#include "app/more_options_panel.h"
#include "app/window_frame.h"
#include "model/number_text.h"
#include "model/path_helpers.h"
#include "settings/settings_file.h"
#include "ui_main_dialog.h"

namespace tilvane {

namespace {

// Our wording of the prompt for a refused number edit.
constexpr const char* kNumberPrompt = "Please enter a whole number from 0 to 4294967295.";

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}
QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void setEditText(QLineEdit* edit, const QString& text) {
    // What the user typed and no commit has taken yet stays: a refresh comes
    // at every slice of a build, whatever field is being edited. Otherwise the
    // cursor is left alone when nothing changes.
    if (!edit->isModified() && edit->text() != text) edit->setText(text);
}

// The timer's period while no build is armed.
constexpr int kIdleTickMs = 100;
// A slice of steps lasts at least this long, and at least one frame.
constexpr qint64 kSliceMs = 15;

void selectLine(QComboBox* combo, int index) {
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

}  // namespace

MainDialog::MainDialog(StartupPaths paths, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::MainDialog>()), paths_(std::move(paths)) {
    ui_->setupUi(this);
    // The options beyond the described ones sit to the right of the described
    // controls, which keep their places; they scroll when they outgrow it.
    auto* moreScroll = new QScrollArea(this);
    moreScroll->setObjectName(QStringLiteral("moreOptionsScroll"));
    moreScroll->setFrameShape(QFrame::NoFrame);
    moreScroll->setWidgetResizable(true);
    moreScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    moreOptions_ = new MoreOptionsPanel(moreScroll);
    moreScroll->setWidget(moreOptions_);
    moreScroll->setGeometry(464, 3, 190, 296);
    preview_ = addPreviewToggle(*this, QRect(464, 303, 97, 16));
    units_ = applyDialogUnits(*this, {658, 326});
    const WindowFrame frame = frameWindow(*this, units_.toPixels(QSize(658, 326)));
    progressBar_ = frame.progress;
    cancelButton_ = frame.cancel;
    connect(cancelButton_, &QPushButton::clicked, this, &MainDialog::cancelBuild);
    // An empty list draws no item and so no focus; its frame shows the focus.
    ui_->fileListBox->setStyleSheet(
        QStringLiteral("QListWidget:focus { border: 2px solid palette(highlight); }"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);

    // Linux windows have no system menu of their own; the About command lives
    // in the window's context menu instead.
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    auto* about = new QAction(QStringLiteral("&About Tilvane..."), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    addAction(separator);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(about, &QAction::triggered, this, &MainDialog::showAbout);
    // F1 is the desktop's key for help: it opens what "Help!" opens.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &MainDialog::openHelp);

    setWindowIcon(appIcon());
    connectControls();

    applyDefaults(settings_, runner_.run());
    SettingsExtensions extensions;
    loadSettingsFile(settings_, paths_.settingsFile, &extensions);
    moreOptions_->setEntries(extensions.entries);

    buildTimer_.setObjectName(QStringLiteral("buildTimer"));
    buildTimer_.setInterval(kIdleTickMs);
    connect(&buildTimer_, &QTimer::timeout, this, &MainDialog::tickBuildTimer);
    buildTimer_.start();

    refreshControls(true);
}

MainDialog::~MainDialog() {
    // The per-user configuration folder may not exist yet.
    QDir().mkpath(qt(folderOfPath(paths_.settingsFile)));
    saveSettingsFile(settings_, paths_.settingsFile, nullptr, moreOptions_->entries());
    clearRun(runner_.run());
}

void MainDialog::connectControls() {
    connect(ui_->enterSinkButton, &QPushButton::clicked, this, &MainDialog::ignoreEnter);
    connect(ui_->inputFolderBrowseButton, &QPushButton::clicked, this,
            &MainDialog::browseInputFolder);
    connect(ui_->outputImageBrowseButton, &QPushButton::clicked, this,
            &MainDialog::browseOutputImage);
    connect(ui_->outputTextBrowseButton, &QPushButton::clicked, this,
            &MainDialog::browseOutputText);
    connect(ui_->inputFolderOpenButton, &QPushButton::clicked, this, &MainDialog::openInputFolder);
    connect(ui_->outputImageOpenButton, &QPushButton::clicked, this, &MainDialog::showOutputImage);
    connect(ui_->outputTextOpenButton, &QPushButton::clicked, this, &MainDialog::showOutputText);
    connect(ui_->helpButton, &QPushButton::clicked, this, &MainDialog::openHelp);
    connect(ui_->saveSettingsButton, &QPushButton::clicked, this, &MainDialog::saveSettings);
    connect(ui_->loadSettingsButton, &QPushButton::clicked, this, &MainDialog::loadSettings);
    connect(ui_->goButton, &QPushButton::clicked, this, &MainDialog::startBuild);
    connect(ui_->closeButton, &QPushButton::clicked, this, &MainDialog::closeWithCommit);

    connect(ui_->textFormatCombo, &QComboBox::activated, this, &MainDialog::takeTextFormat);
    connect(ui_->changeCaseCombo, &QComboBox::activated, this, &MainDialog::takeChangeCase);
    connect(ui_->cropModeCombo, &QComboBox::activated, this, &MainDialog::takeCropMode);
    for (QComboBox* combo : {ui_->textFormatCombo, ui_->changeCaseCombo, ui_->cropModeCombo}) {
        combo->installEventFilter(this);
        // The Output Format list is pick-only: typing there could only store -1.
        if (!combo->lineEdit()) continue;
        // Typing into a combo box's edit field leaves no line selected.
        connect(combo->lineEdit(), &QLineEdit::textEdited, combo, [combo](const QString& text) {
            const QSignalBlocker blocker(combo);
            const int cursor = combo->lineEdit()->cursorPosition();
            combo->setCurrentIndex(-1);
            combo->setEditText(text);
            combo->lineEdit()->setCursorPosition(cursor);
        });
    }

    auto* sortGroup = new QButtonGroup(this);
    sortGroup->setObjectName(QStringLiteral("sortOrderGroup"));
    sortGroup->addButton(ui_->sortAlphabeticalRadio, 0);
    sortGroup->addButton(ui_->sortSizeRadio, 1);
    sortGroup->addButton(ui_->sortRandomRadio, 2);
    for (QAbstractButton* button : {static_cast<QAbstractButton*>(ui_->convertTabsCheck),
                                    static_cast<QAbstractButton*>(ui_->createMaskCheck),
                                    static_cast<QAbstractButton*>(ui_->sortAlphabeticalRadio),
                                    static_cast<QAbstractButton*>(ui_->sortSizeRadio),
                                    static_cast<QAbstractButton*>(ui_->sortRandomRadio)}) {
        connect(button, &QAbstractButton::clicked, this, &MainDialog::commitAndRefresh);
    }

    for (QLineEdit* edit :
         {ui_->inputFolderEdit, ui_->outputImageEdit, ui_->outputTextEdit, ui_->outputWidthEdit,
          ui_->outputHeightEdit, ui_->borderSizeEdit, ui_->spacingEdit, ui_->gridAlignXEdit,
          ui_->gridAlignYEdit, ui_->namePrefixEdit, ui_->namePostfixEdit, ui_->tabSizeEdit,
          ui_->cssUrlPrefixEdit, ui_->cropAlphaEdit, ui_->randomSeedEdit}) {
        edit->installEventFilter(this);
    }
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !exchanging_ && !ending_) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A combo box's own list or an edit's context menu is not leaving.
        if (reason != Qt::PopupFocusReason) {
            // The control finishes leaving first: a line edit drops its
            // selection and cursor there, which would undo what a refused
            // number does when it takes the focus back.
            watched->event(event);
            leaveControl(watched);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::done(int result) {
    ending_ = true;
    QDialog::done(result);
}

void MainDialog::showEvent(QShowEvent* event) {
    ending_ = false;
    QDialog::showEvent(event);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && runner_.armed()) {
        cancelBuild();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainDialog::leaveControl(QObject* control) {
    if (control == ui_->inputFolderEdit) {
        commitTrimmed(settings_.inputFolder, true);
    } else if (control == ui_->outputImageEdit) {
        commitTrimmed(settings_.outputImageFile, false);
    } else if (control == ui_->outputTextEdit) {
        if (!commitControls()) return;
        settings_.outputTextFile = trimWhiteSpace(settings_.outputTextFile);
        showFields();
        refreshControls(false);
    } else if (control == ui_->tabSizeEdit || control == ui_->cropAlphaEdit) {
        if (commitControls()) refreshControls(false);
    } else if (control == ui_->textFormatCombo) {
        takeTextFormat();
    } else if (control == ui_->changeCaseCombo) {
        takeChangeCase();
    } else if (control == ui_->cropModeCombo) {
        takeCropMode();
    } else {
        commitControls();
    }
}

void MainDialog::commitTrimmed(std::string& field, bool trailingSeparator) {
    if (!commitControls()) return;
    field = trimWhiteSpace(field);
    if (trailingSeparator) field = ensureTrailingSlash(field);
    showFields();
}

bool MainDialog::commitControls() {
    exchanging_ = true;
    const auto done = qScopeGuard([this] { exchanging_ = false; });
    // A field taken is no longer the user's own unsaved text (see setEditText).
    const auto text = [](QLineEdit* edit) {
        edit->setModified(false);
        return edit->text().toStdString();
    };
    const auto number = [this](QLineEdit* edit, std::uint32_t& field) {
        const auto value = parseUnsignedDecimal(edit->text().toStdString());
        if (value) {
            field = *value;
            edit->setModified(false);
            return true;
        }
        showMessage(kNumberPrompt);
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
        return false;
    };
    // The order of the window's data exchange; a refused number ends it.
    settings_.inputFolder = text(ui_->inputFolderEdit);
    settings_.outputImageFile = text(ui_->outputImageEdit);
    if (!number(ui_->outputWidthEdit, settings_.outputWidth)) return false;
    if (!number(ui_->outputHeightEdit, settings_.outputHeight)) return false;
    settings_.outputTextFile = text(ui_->outputTextEdit);
    if (!number(ui_->borderSizeEdit, settings_.borderSize)) return false;
    if (!number(ui_->spacingEdit, settings_.spacing)) return false;
    statusText_ = ui_->statusLabel->text().toStdString();
    settings_.namePrefix = text(ui_->namePrefixEdit);
    settings_.namePostfix = text(ui_->namePostfixEdit);
    QAbstractButton* checked = ui_->sortAlphabeticalRadio->group()->checkedButton();
    settings_.sortOrder = checked ? ui_->sortAlphabeticalRadio->group()->id(checked) : -1;
    if (!number(ui_->randomSeedEdit, settings_.randomSeed)) return false;
    if (!number(ui_->gridAlignXEdit, settings_.gridAlignX)) return false;
    if (!number(ui_->gridAlignYEdit, settings_.gridAlignY)) return false;
    if (!number(ui_->cropAlphaEdit, settings_.cropAlpha)) return false;
    settings_.convertTabs = ui_->convertTabsCheck->isChecked() ? 1 : 0;
    if (!number(ui_->tabSizeEdit, settings_.tabSize)) return false;
    settings_.createMask = ui_->createMaskCheck->isChecked() ? 1 : 0;
    settings_.cssUrlPrefix = text(ui_->cssUrlPrefixEdit);
    return true;
}

void MainDialog::showFields() {
    syncFileListBox();
    setEditText(ui_->inputFolderEdit, qt(settings_.inputFolder));
    setEditText(ui_->outputImageEdit, qt(settings_.outputImageFile));
    setEditText(ui_->outputWidthEdit, QString::number(settings_.outputWidth));
    setEditText(ui_->outputHeightEdit, QString::number(settings_.outputHeight));
    setEditText(ui_->outputTextEdit, qt(settings_.outputTextFile));
    setEditText(ui_->borderSizeEdit, QString::number(settings_.borderSize));
    setEditText(ui_->spacingEdit, QString::number(settings_.spacing));
    const QString status = qt(statusText_);
    if (ui_->statusLabel->text() != status) {
        ui_->statusLabel->setText(status);
        // The build's steps and its completion run without returning to the
        // event loop, so the new status is painted now. Only a changed text is:
        // a step refreshes twice and a long build has thousands of steps.
        if (ui_->statusLabel->isVisible()) ui_->statusLabel->repaint();
    }
    setEditText(ui_->namePrefixEdit, qt(settings_.namePrefix));
    setEditText(ui_->namePostfixEdit, qt(settings_.namePostfix));
    QButtonGroup* sortGroup = ui_->sortAlphabeticalRadio->group();
    // A value outside the group leaves every button unchecked, which an
    // exclusive group does not allow.
    sortGroup->setExclusive(false);
    for (QAbstractButton* button : sortGroup->buttons()) {
        button->setChecked(sortGroup->id(button) == settings_.sortOrder);
    }
    sortGroup->setExclusive(true);
    setEditText(ui_->randomSeedEdit, QString::number(settings_.randomSeed));
    setEditText(ui_->gridAlignXEdit, QString::number(settings_.gridAlignX));
    setEditText(ui_->gridAlignYEdit, QString::number(settings_.gridAlignY));
    setEditText(ui_->cropAlphaEdit, QString::number(settings_.cropAlpha));
    ui_->convertTabsCheck->setChecked(settings_.convertTabs != 0);
    setEditText(ui_->tabSizeEdit, QString::number(settings_.tabSize));
    ui_->createMaskCheck->setChecked(settings_.createMask != 0);
    setEditText(ui_->cssUrlPrefixEdit, qt(settings_.cssUrlPrefix));
}

void MainDialog::refreshControls(bool refill) {
    applyRefreshRules(settings_, runner_.run(), runner_.run().fileList, refill);
    if (refill) fillChoiceLists();
    selectLine(ui_->textFormatCombo, settings_.textFormat);
    selectLine(ui_->cropModeCombo, settings_.cropMode);
    selectLine(ui_->changeCaseCombo, settings_.changeCase);
    applyEnablingRules();
    showFields();
}

void MainDialog::fillChoiceLists() {
    ui_->fileListBox->clear();
    for (QComboBox* combo : {ui_->textFormatCombo, ui_->cropModeCombo, ui_->changeCaseCombo}) {
        const QSignalBlocker blocker(combo);
        combo->clear();
    }
    int position = 1;
    for (const std::string_view style : kRectStyles) {
        char line[128];
        std::snprintf(line, sizeof line, "%d)  %.*s", position++, static_cast<int>(style.size()),
                      style.data());
        ui_->textFormatCombo->addItem(QString::fromUtf8(line));
    }
    for (const std::string_view option : kCropOptions) ui_->cropModeCombo->addItem(qt(option));
    for (const std::string_view option : kChangeCaseOptions) {
        ui_->changeCaseCombo->addItem(qt(option));
    }
}

void MainDialog::applyEnablingRules() {
    ui_->cropAlphaEdit->setEnabled(settings_.cropMode != kCropNone);
    ui_->tabSizeEdit->setEnabled(settings_.convertTabs != 0);
    ui_->randomSeedEdit->setEnabled(settings_.sortOrder == kSortRandom);
    // A running build reads its own copy of the settings, so the fields stay
    // open for the next one; what would restart it or empty its file list
    // waits, and Cancel is there instead.
    const bool building = runner_.armed();
    if (building && ui_->goButton->hasFocus()) cancelButton_->setFocus(Qt::OtherFocusReason);
    if (!building && cancelButton_->hasFocus()) ui_->goButton->setFocus(Qt::OtherFocusReason);
    for (QWidget* command :
         {static_cast<QWidget*>(ui_->goButton), static_cast<QWidget*>(ui_->saveSettingsButton),
          static_cast<QWidget*>(ui_->loadSettingsButton)}) {
        command->setEnabled(!building);
    }
    cancelButton_->setEnabled(building);
}

void MainDialog::syncFileListBox() {
    // The list box shows the build's file list in its own order; it is rebuilt
    // only when the two differ.
    QListWidget* box = ui_->fileListBox;
    const auto& entries = runner_.run().fileList.entries();
    bool same = box->count() == static_cast<int>(entries.size());
    for (int i = 0; same && i < box->count(); ++i) {
        same = box->item(i)->text() == qt(entries[static_cast<std::size_t>(i)].name);
    }
    if (same) return;
    box->clear();
    for (const FileList::Entry& entry : entries) box->addItem(qt(entry.name));
}

int MainDialog::selectedIndex(const QComboBox& combo) {
    return combo.currentIndex();
}

void MainDialog::takeTextFormat() {
    if (!commitControls()) return;
    settings_.textFormat = selectedIndex(*ui_->textFormatCombo);
}

void MainDialog::takeChangeCase() {
    if (!commitControls()) return;
    settings_.changeCase = selectedIndex(*ui_->changeCaseCombo);
    refreshControls(false);
}

void MainDialog::takeCropMode() {
    if (!commitControls()) return;
    settings_.cropMode = selectedIndex(*ui_->cropModeCombo);
    refreshControls(false);
}

void MainDialog::commitAndRefresh() {
    if (commitControls()) refreshControls(false);
}

void MainDialog::ignoreEnter() {
    // The default button exists so that Enter lands here and does nothing.
}

void MainDialog::closeWithCommit() {
    if (commitControls()) accept();
}

void MainDialog::tickBuildTimer() {
    // Steps back to back for about a frame; the window then paints (the
    // status line and the progress once a slice) and takes input.
    const QScreen* screen = this->screen();
    const qreal rate = screen ? screen->refreshRate() : 60.0;
    const qint64 budget = std::max(kSliceMs, static_cast<qint64>(1000.0 / std::max(rate, 1.0)));
    QElapsedTimer slice;
    slice.start();
    BuildOutcome outcome = runner_.tick(kBuildTimerId);
    const bool stepped = outcome != BuildOutcome::idle;
    while (outcome == BuildOutcome::stepDone && runner_.armed() && slice.elapsed() < budget) {
        outcome = runner_.tick(kBuildTimerId);
    }
    if (stepped) {
        refreshControls(false);
        showProgress();
    }
    syncFileListBox();
    // A tick inside a dialog the build opened lands here too: it finds the
    // build idle and slows the timer, so the dialog's loop does not spin.
    const int period = runner_.armed() ? 0 : kIdleTickMs;
    if (buildTimer_.interval() != period) buildTimer_.setInterval(period);
}

void MainDialog::startBuild() {
    // The button was released without a repaint; a refusal's message would
    // otherwise open over it drawn pressed.
    ui_->goButton->repaint();
    if (!takeFocusedField()) return;
    // Nothing of an earlier build stays on show while this one runs or fails.
    preview_->clear();
    // The path is kept trimmed, as the build judges it.
    settings_.outputImageFile = trimWhiteSpace(settings_.outputImageFile);
    JobSpec jobSpec;
    jobSpec.settings = settings_;
    moreOptions_->applyTo(jobSpec);
    // The window always gives a width and a height: with a fitted size they
    // are its maximum.
    jobSpec.sizing.widthGiven = true;
    jobSpec.sizing.heightGiven = true;
    cancelRequested_ = false;
    progressDone_ = 0;
    progressTotal_ = 0;
    showProgress();
    runner_.start(jobSpec);
    // The list box follows the build's file list even when preparation ends
    // without a refresh after listing the files.
    syncFileListBox();
    applyEnablingRules();
    if (runner_.armed()) {
        progressTotal_ = static_cast<std::size_t>(runner_.run().fileList.count());
        showProgress();
        buildTimer_.setInterval(0);
    }
}

void MainDialog::cancelBuild() {
    if (runner_.armed()) cancelRequested_ = true;
}

void MainDialog::showProgress() {
    // The bar counts in int; a count past its range is shown in proportion.
    constexpr std::size_t kMax = std::numeric_limits<int>::max();
    const std::size_t total = std::max<std::size_t>(progressTotal_, 1);
    const std::size_t done = std::min(progressDone_, total);
    const int shownTotal = static_cast<int>(std::min(total, kMax));
    const int shownDone = total <= kMax
                              ? static_cast<int>(done)
                              : static_cast<int>(static_cast<double>(done) / total * shownTotal);
    if (progressBar_->maximum() != shownTotal) progressBar_->setRange(0, shownTotal);
    progressBar_->setValue(progressTotal_ == 0 ? 0 : shownDone);
    // No count before the first build.
    progressBar_->setTextVisible(progressTotal_ != 0);
}

bool MainDialog::takeFocusedField() {
    // A command from the keyboard (a mnemonic) leaves the focus where it is;
    // what was typed there is taken first, as leaving the field would.
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    // Only the window's own fields: a combo box's edit commits by its choice.
    if (!edit || !edit->isModified() ||
        edit->parentWidget() != ui_->inputFolderEdit->parentWidget()) {
        return true;
    }
    leaveControl(edit);
    return !edit->isModified();
}

}  // namespace tilvane
