#pragma once

#include <QWidget>

class QToolButton;

namespace tilvane {

// An up-down control without a buddy: it owns no value and only asks for a
// step. The arrows and the Up/Down keys ask for +1 and -1.
class SpinButton : public QWidget {
    Q_OBJECT

public:
    explicit SpinButton(QWidget* parent = nullptr);

signals:
    // Emitted before any change, with the step asked for.
    void stepRequested(int delta);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* upButton_;
    QToolButton* downButton_;
};

}  // namespace tilvane
