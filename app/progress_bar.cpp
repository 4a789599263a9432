#include "app/progress_bar.h"

namespace mv::app {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void ProgressBar::setCaption(const QString& caption) {
    m_caption = caption;
    update();
}

}  // namespace mv::app
