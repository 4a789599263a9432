// The window's sink for the application error report: one modal box per
// failed step, through Dialogs.
//
// During a run or a scan (a session) the box offers to stop showing further
// reports; once the user ticks it, the rest of the session's reports are only
// counted, and the session's end gives their number. A session begun inside
// another (a scan started during a run) joins the outer one. The session also
// keeps the files its reports were about, shown or counted.
#pragma once

#include <cstdint>
#include <functional>

#include "app/reported_files.h"
#include "report/error_report.h"
#include "ui/dialogs.h"

namespace mv::app {

class DialogReport : public report::ErrorReport {
public:
    DialogReport(ui::Dialogs& dialogs, QWidget* owner) : m_dialogs(dialogs), m_owner(owner) {}
    void show(const std::string& description, const report::Location& where, int step) override;

    void beginSession();
    // The number of reports counted instead of shown, when the outermost
    // session ends; 0 otherwise.
    std::int64_t endSession();

    // The file a report during a session is about (empty text: none).
    void setSubject(std::function<QString()> subject) { m_subject = std::move(subject); }
    // The files of the last session's reports, until the next session begins.
    const ReportedFiles& reportedFiles() const { return m_files; }

private:
    ui::Dialogs& m_dialogs;
    QWidget* m_owner;
    int m_sessions = 0;
    bool m_quiet = false;
    std::int64_t m_unshown = 0;
    std::function<QString()> m_subject;
    ReportedFiles m_files;
};

}  // namespace mv::app
