#include "app/spin_button.h"

#include <QKeyEvent>
#include <QToolButton>

namespace tilvane {

SpinButton::SpinButton(QWidget* parent)
    : QWidget(parent), upButton_(new QToolButton(this)), downButton_(new QToolButton(this)) {
    setFocusPolicy(Qt::StrongFocus);
    upButton_->setObjectName(QStringLiteral("upButton"));
    downButton_->setObjectName(QStringLiteral("downButton"));
    for (QToolButton* button : {upButton_, downButton_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    upButton_->setArrowType(Qt::UpArrow);
    downButton_->setArrowType(Qt::DownArrow);
    connect(upButton_, &QToolButton::clicked, this, [this] { emit stepRequested(1); });
    connect(downButton_, &QToolButton::clicked, this, [this] { emit stepRequested(-1); });
}

void SpinButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        emit stepRequested(1);
    } else if (event->key() == Qt::Key_Down) {
        emit stepRequested(-1);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void SpinButton::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    upButton_->setGeometry(0, 0, width(), half);
    downButton_->setGeometry(0, half, width(), height() - half);
}

}  // namespace tilvane
