// A clearly visible frame around the control that has the keyboard focus:
// the style's own focus marks are faint on the window's white surfaces.
// Drawn just outside the control, on its container, so it covers none of the
// control's own text.
#pragma once

#include <QPointer>
#include <QWidget>

namespace mv::app {

class FocusRing : public QWidget {
    Q_OBJECT
public:
    // Follows the focus among the controls inside `window`.
    explicit FocusRing(QWidget* window);

    // The control the ring stands around, or null while it is hidden.
    QWidget* target() const { return m_target; }
    static constexpr int kGap = 1;    // between the control and the ring
    static constexpr int kWidth = 2;  // of the ring's line

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* focused);

    QWidget* m_window;
    QPointer<QWidget> m_target;
};

}  // namespace mv::app
