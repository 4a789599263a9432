/* Form1, the main window: the file list, the output options with the output
   folder box, and the buttons that fill the list and start a run.

   Each control is created from the layout table in form1_layout.cpp under its
   own object name (ListView1, PushButton7, Option1, ...). Handlers keep the
   names of the events they serve and hold only the numbered steps they are
   made of; the conversion run itself is ConversionRun, driven through
   WindowHost. Modal boxes go through the ui::Dialogs the window is given, the
   settings through ui::Settings; nothing here reaches for a global. */
#pragma once

#include <QCursor>
#include <QMainWindow>
#include <functional>

#include "app/dialog_report.h"
#include "app/sample_files.h"
#include "app/window_host.h"
#include "run/conversion_run.h"
#include "run/host.h"
#include "ui/dialogs.h"
#include "ui/program_folder.h"
#include "ui/settings.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace mv::filelist {
class FileList;
}

namespace mv::app {

class FocusRing;
class ProgressBar;

// A frame of one flat colour, its caption drawn in `text`.
void paintFrame(QGroupBox* frame, const QColor& background, const QColor& text);
// Fixes the text colours with a fixed background, in every role a control
// paints with, so that a dark desktop palette does not put light text on it.
void fixColours(QWidget* widget, const QColor& background, const QColor& text);
// Makes the caption of a button, option or frame fit its fixed width: a
// stand-in font wider than the one the layout was made for gets smaller.
void fitCaption(QWidget* control);

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    Form1(ui::Dialogs& dialogs, ui::Settings& settings, const ui::ProgramFolder& folder,
          QWidget* parent = nullptr);
    ~Form1() override;

    // The window-wide pointer: default, hourglass (busy) or the custom hand.
    run::Pointer pointer() const { return m_pointer; }
    void setPointer(run::Pointer pointer);
    bool isBusy() const { return m_pointer == run::Pointer::Hourglass; }

    const QString& appTitle() const { return m_appTitle; }
    bool isConverting() const { return m_run.IsConverting(); }
    // Runs a conversion run, a folder scan or a drop's folder walk: closing
    // the window meanwhile ends the program, and the error reports of the
    // work form one session (DialogReport).
    void runLongWork(const std::function<void()>& work);
    // What closing the window during long work does; by default the process
    // ends at once. Results are written whole or not at all, so nothing is
    // left truncated.
    void setEndProgram(std::function<void()> end) { m_endProgram = std::move(end); }
    // How the sample folder is shown in a file manager; by default the desktop's.
    void setFolderOpener(FolderOpener open) { m_openFolder = std::move(open); }
    // Adds files, and the files of folders, as a drop of them would: the
    // program's arguments.
    void addPaths(const QStringList& paths);
    const FocusRing* focusRing() const { return m_focusRing; }

    filelist::FileList* ListView1() const { return m_listView1; }
    QRadioButton* Option1() const { return m_option1; }
    QRadioButton* Option2() const { return m_option2; }
    QLineEdit* Text1() const { return m_text1; }
    ProgressBar* ProgressBar1() const { return m_progressBar1; }
    ui::Dialogs& dialogs() const { return m_dialogs; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void Option1_Click();
    void Option2_Click();
    void Text1_Change();
    void PushButton1_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void PushButton9_Click();

private:
    void createControls();  // form1_layout.cpp
    void connectHandlers();
    void Form_Load();
    void ApplySkin();
    void SetAppTitle();
    void storeOptions();
    void setAccessibleTexts();
    void showUnshownReports(std::int64_t unshown);
    void walkProgress(qint64 found);
    void walkEnded();

    ui::Dialogs& m_dialogs;
    ui::Settings& m_settings;
    ui::ProgramFolder m_folder;
    DialogReport m_report;
    WindowHost m_host;
    run::ConversionRun m_run;
    std::function<void()> m_endProgram;
    FolderOpener m_openFolder;
    int m_longWork = 0;  // nested runs, scans and drops under way

    run::Pointer m_pointer = run::Pointer::Default;
    QCursor m_customPointer{Qt::PointingHandCursor};  // until HAND-M.CUR loads
    QString m_appTitle;
    QString m_captionBeforeWalk;
    FocusRing* m_focusRing = nullptr;

    filelist::FileList* m_listView1 = nullptr;
    QPushButton* m_pushButton1 = nullptr;
    QPushButton* m_pushButton4 = nullptr;
    QPushButton* m_pushButton5 = nullptr;
    QPushButton* m_pushButton7 = nullptr;
    QPushButton* m_pushButton8 = nullptr;
    QPushButton* m_pushButton9 = nullptr;
    ProgressBar* m_progressBar1 = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QGroupBox* m_frame4 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QRadioButton* m_option1 = nullptr;
    QRadioButton* m_option2 = nullptr;
};

}  // namespace mv::app
