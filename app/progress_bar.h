// The progress bar with a free caption: the run's texts are shown as they
// are, with no "%p"-style substitution of characters in file names.
#pragma once

#include <QProgressBar>

namespace mv::app {

class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);
    void setCaption(const QString& caption);
    QString text() const override { return m_caption; }

private:
    QString m_caption;
};

}  // namespace mv::app
