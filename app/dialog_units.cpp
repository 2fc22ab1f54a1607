#include "app/dialog_units.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QWidget>

namespace tilvane {

namespace {

// The rounding multiply-divide the platform uses for dialog units.
int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

DialogUnits DialogUnits::forFont(const QFont& font) {
    const QFontMetrics metrics(font);
    // The platform's average: the 52 letters' width over 26, halved and rounded.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits units;
    units.baseX = std::max(1, (letters / 26 + 1) / 2);
    units.baseY = std::max(1, metrics.height());
    return units;
}

int DialogUnits::toPixelsX(int du) const {
    return mulDiv(du, baseX, 4);
}
int DialogUnits::toPixelsY(int du) const {
    return mulDiv(du, baseY, 8);
}

QRect DialogUnits::toPixels(const QRect& du) const {
    return {toPixelsX(du.x()), toPixelsY(du.y()), toPixelsX(du.width()), toPixelsY(du.height())};
}

QSize DialogUnits::toPixels(const QSize& du) const {
    return {toPixelsX(du.width()), toPixelsY(du.height())};
}

QFont dialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}

DialogUnits applyDialogUnits(QWidget& dialog, QSize templateSize) {
    dialog.setFont(dialogFont());
    const DialogUnits units = DialogUnits::forFont(dialog.font());
    for (QObject* child : dialog.children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || widget->isWindow()) continue;
        QRect rect = units.toPixels(widget->geometry());
        if (qobject_cast<QComboBox*>(widget)) {
            rect.setHeight(std::min(rect.height(), units.toPixelsY(13)));
        }
        widget->setGeometry(rect);
    }
    dialog.setFixedSize(units.toPixels(templateSize));
    return units;
}

}  // namespace tilvane
