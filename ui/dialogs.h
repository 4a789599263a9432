/* Every modal box the program opens goes through Dialogs: the program hands
   Form1 the real Qt dialogs (QtDialogs), the widget tests a scripted fake
   that answers without a person and records what was shown. */
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QMessageBox;
class QWidget;

namespace mv::ui {

enum class BoxIcon { None, Information, Warning };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A box with the text, an OK button and, unless asked for, no icon.
    virtual void message(QWidget* owner, const QString& title, const QString& text,
                         BoxIcon icon = BoxIcon::None) = 0;
    // A box with Yes and No; true for Yes.
    virtual bool question(QWidget* owner, const QString& title, const QString& text) = 0;
    // A folder picker preset to `start`; the chosen folder as the dialog gives
    // it, or empty text when cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& prompt, const QString& start) = 0;
    // A multi-file open dialog; the chosen files, none when cancelled.
    virtual QStringList chooseFiles(QWidget* owner, const QString& title, const QString& folder,
                                    const QString& filter) = 0;
    // The application error report: title "Application Error", warning icon, OK.
    // With `offerQuiet` it also carries the check box kQuietReports, and the
    // result says whether the user ticked it.
    virtual bool errorReport(QWidget* owner, const QString& text, bool offerQuiet = false) = 0;
    // An input box showing `preset` as the answer; the text entered, or empty
    // text when cancelled.
    virtual QString input(QWidget* owner, const QString& title, const QString& prompt,
                          const QString& preset) = 0;
    // The box that ends a session whose later reports were only counted:
    // title "Application Error", warning icon, `text`, `details` as its
    // detailed text, OK and kSaveList. True when the user chose kSaveList.
    virtual bool reportCount(QWidget* owner, const QString& text, const QString& details) = 0;
    // A save dialog preset to `start`; the chosen file, or empty text when
    // cancelled.
    virtual QString chooseSaveFile(QWidget* owner, const QString& title, const QString& start) = 0;
};

inline constexpr const char* kQuietReports = "Do not show further reports in this run";
inline constexpr const char16_t* kSaveList = u"Save List\u2026";

// The error report's box, as QtDialogs::errorReport shows it.
std::unique_ptr<QMessageBox> errorReportBox(QWidget* owner, const QString& text, bool offerQuiet);
// The count box, as QtDialogs::reportCount shows it; its kSaveList button
// is the one named so.
std::unique_ptr<QMessageBox> reportCountBox(QWidget* owner, const QString& text,
                                            const QString& details);
// A window manager draws the title above the box and cuts it short where the
// box is narrower ("M…"); this makes the box wide enough for its title.
void fitTitle(QMessageBox& box);

// The real dialogs: QMessageBox, QFileDialog and QInputDialog.
class QtDialogs : public Dialogs {
public:
    void message(QWidget* owner, const QString& title, const QString& text,
                 BoxIcon icon = BoxIcon::None) override;
    bool question(QWidget* owner, const QString& title, const QString& text) override;
    QString chooseFolder(QWidget* owner, const QString& prompt, const QString& start) override;
    QStringList chooseFiles(QWidget* owner, const QString& title, const QString& folder,
                            const QString& filter) override;
    bool errorReport(QWidget* owner, const QString& text, bool offerQuiet = false) override;
    QString input(QWidget* owner, const QString& title, const QString& prompt,
                  const QString& preset) override;
    bool reportCount(QWidget* owner, const QString& text, const QString& details) override;
    QString chooseSaveFile(QWidget* owner, const QString& title, const QString& start) override;
};

}  // namespace mv::ui
