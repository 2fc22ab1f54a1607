#pragma once

#include <QRect>
#include <QSize>

class QFont;
class QWidget;

namespace tilvane {

// Dialog templates measure in dialog units: a quarter of the dialog font's
// average character width across, an eighth of its height down. Our .ui files
// keep every geometry in these units, so the layout follows the font the way
// the templates were drawn.
struct DialogUnits {
    int baseX = 6;   // average character width in pixels
    int baseY = 13;  // character height in pixels

    static DialogUnits forFont(const QFont& font);

    int toPixelsX(int du) const;
    int toPixelsY(int du) const;
    QRect toPixels(const QRect& du) const;
    QSize toPixels(const QSize& du) const;
};

// The font every dialog of the program uses (the template font's role: a small
// sans serif face).
QFont dialogFont();

// Converts a dialog laid out in dialog units (as its .ui file holds it) to
// pixels: the dialog gets the dialog font and a fixed size, every direct child
// its converted geometry. A drop-down combo box's template height includes its
// open list, so it keeps only its closed height. Returns the units used.
DialogUnits applyDialogUnits(QWidget& dialog, QSize templateSize);

}  // namespace tilvane
