#pragma once

#include <QSize>

class QDialog;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QWidget;

namespace tilvane {

// What frameWindow made around a window's template controls.
struct WindowFrame {
    // The template controls, at their places, on one page of the template's size.
    QWidget* page = nullptr;
    // The page's view: it scrolls when the window is smaller than the page
    // (a large scale factor on a small screen), and brings a control that
    // takes the focus into view.
    QScrollArea* scroll = nullptr;
    // Below the view, always in sight: the build's progress ("n of N") and
    // its Cancel button.
    QProgressBar* progress = nullptr;
    QPushButton* cancel = nullptr;
};

// Moves the dialog's direct child widgets (laid out in pixels already, see
// applyDialogUnits) onto a page in a scroll area, keeping their places, their
// stacking and their tab order, and adds the progress row below it with the
// Cancel button last in the tab order. The dialog becomes resizable: it opens
// at the page's size plus the row when the screen has room, else as large as
// the screen's free area allows.
WindowFrame frameWindow(QDialog& dialog, QSize pageSize);

}  // namespace tilvane
