// The window's sink for the application error report: one modal box per
// failed step, through Dialogs.
#pragma once

#include "app/dialogs.h"
#include "report/error_report.h"

namespace mv::app {

class DialogReport : public report::ErrorReport {
public:
    DialogReport(Dialogs& dialogs, QWidget* owner) : m_dialogs(dialogs), m_owner(owner) {}
    void show(const std::string& description, const report::Location& where, int step) override;

private:
    Dialogs& m_dialogs;
    QWidget* m_owner;
};

}  // namespace mv::app
