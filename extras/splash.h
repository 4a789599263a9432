/* The splash window: one picture from the Splash folder beside the program,
   shown for a few seconds with a check box that switches it off for later
   starts. An operation for callers; the program's start-up does not open it. */
#pragma once

#include <QWidget>
#include <functional>

#include "ui/program_folder.h"
#include "ui/settings.h"

class QCheckBox;
class QFrame;
class QLabel;

namespace mv::extras {

// Seconds since midnight, the clock that PauseSeconds measures with.
double secondsSinceMidnight();

// Waits `seconds` while letting window events run; a wait that passes
// midnight (the clock starts again at 0) still lasts the full time.
void PauseSeconds(double seconds, const std::function<double()>& clock = secondsSinceMidnight);

class Splash : public QWidget {
    Q_OBJECT
public:
    using Pause = std::function<void(double seconds)>;

    // `pause` stands in for PauseSeconds in tests.
    Splash(ui::Settings& settings, ui::ProgramFolder folder, Pause pause = {},
           QWidget* parent = nullptr);

    // Shows the first picture of the Splash folder for four seconds, unless
    // "ShowAgain" says not to or there is no picture. Throws report::Failure
    // for a "ShowAgain" that is not a number or a picture that cannot be read.
    void SplashShow();

private slots:
    void Check1_Click();

private:
    QString pictureFile() const;
    void layOut(const QPixmap& picture);

    ui::Settings& m_settings;
    ui::ProgramFolder m_folder;
    Pause m_pause;
    QLabel* m_image1;
    QCheckBox* m_check1;
    QFrame* m_lines[4];
};

}  // namespace mv::extras
