#include "app/focus_ring.h"

#include <QApplication>
#include <QPainter>

namespace mv::app {

FocusRing::FocusRing(QWidget* window) : QWidget(window), m_window(window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* focused) { follow(focused); });
}

void FocusRing::follow(QWidget* focused) {
    const bool ours = focused && focused != m_window && focused->parentWidget() &&
                      m_window->isAncestorOf(focused);
    if (!ours) {
        m_target = nullptr;
        hide();
        return;
    }
    m_target = focused;
    setParent(focused->parentWidget());
    const int out = kGap + kWidth;
    setGeometry(focused->geometry().adjusted(-out, -out, out, out));
    raise();
    show();
}

void FocusRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The highlight stands out on white and on a dark palette's surfaces.
    QPen pen(palette().color(QPalette::Active, QPalette::Highlight), kWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.drawRect(
        QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0));
}

}  // namespace mv::app
