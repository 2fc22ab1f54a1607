#include "app/window_frame.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QVector>

namespace tilvane {

namespace {

// Room kept for the window manager's title bar and borders, which the window
// cannot measure before it is first shown.
constexpr int kFrameAllowanceX = 16;
constexpr int kFrameAllowanceY = 48;

// The widgets of the window's tab chain, in their order.
QVector<QWidget*> tabChain(QWidget& window) {
    QVector<QWidget*> chain;
    for (QWidget* w = window.nextInFocusChain(); w && w != &window; w = w->nextInFocusChain()) {
        if (chain.contains(w)) break;
        chain << w;
    }
    return chain;
}

}  // namespace

WindowFrame frameWindow(QDialog& dialog, QSize pageSize) {
    const QVector<QWidget*> chain = tabChain(dialog);
    QVector<QWidget*> controls;
    for (QObject* child : dialog.children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow()) controls << widget;
    }

    WindowFrame frame;
    frame.page = new QWidget;
    frame.page->setObjectName(QStringLiteral("mainPage"));
    frame.page->setFixedSize(pageSize);
    // In the children's order, so each lands above the ones before it, as it
    // stacked on the dialog.
    for (QWidget* control : controls) {
        const QRect place = control->geometry();
        control->setParent(frame.page);
        control->setGeometry(place);
    }

    frame.scroll = new QScrollArea(&dialog);
    frame.scroll->setObjectName(QStringLiteral("pageScroll"));
    frame.scroll->setFrameShape(QFrame::NoFrame);
    frame.scroll->setWidget(frame.page);
    frame.scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The view is no stop of its own: Tab goes from control to control.
    frame.scroll->setFocusPolicy(Qt::NoFocus);

    frame.progress = new QProgressBar(&dialog);
    frame.progress->setObjectName(QStringLiteral("buildProgress"));
    frame.progress->setFormat(QStringLiteral("%v of %m"));
    frame.progress->setRange(0, 1);
    frame.progress->setValue(0);
    // No count before the first build.
    frame.progress->setTextVisible(false);
    frame.cancel = new QPushButton(QStringLiteral("Ca&ncel"), &dialog);
    frame.cancel->setObjectName(QStringLiteral("cancelButton"));
    frame.cancel->setAutoDefault(false);
    frame.cancel->setEnabled(false);

    auto* row = new QHBoxLayout;
    const int margin = pageSize.width() / 60;
    row->setContentsMargins(margin, 0, margin, margin);
    row->addWidget(frame.progress, 1);
    row->addWidget(frame.cancel);
    auto* column = new QVBoxLayout(&dialog);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(frame.scroll, 1);
    column->addLayout(row);

    // Reparenting moved the controls to the chain's end; the chain is the
    // template's again, and Cancel follows its last control.
    QWidget* previous = nullptr;
    for (QWidget* w : chain) {
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
    if (previous) QWidget::setTabOrder(previous, frame.cancel);

    // The template's size was fixed; the window now follows its layout.
    dialog.setMinimumSize(0, 0);
    dialog.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QSize rowSize = row->sizeHint();
    QSize wanted(pageSize.width(), pageSize.height() + rowSize.height());
    if (const QScreen* screen =
            dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen()) {
        const QSize room =
            screen->availableGeometry().size() - QSize(kFrameAllowanceX, kFrameAllowanceY);
        wanted = wanted.boundedTo(room);
    }
    dialog.resize(wanted);
    return frame;
}

}  // namespace tilvane
