#include "app/dialog_report.h"

#include "engine/native_text.h"
#include "filelist/list_drop.h"
#include "ui/qt_text.h"

namespace mv::app {

void DialogReport::show(const std::string& description, const report::Location& where, int step) {
    // Descriptions may carry a path's raw bytes; they cross as native text.
    if (m_sessions > 0 && m_subject) m_files.note(m_subject());
    if (m_quiet) {
        ++m_unshown;
        return;
    }
    const std::string text = report::reportMessage(description, where, step);
    const bool inSession = m_sessions > 0;
    const QString shown = filelist::VisibleName(ui::toQString(engine::fromNative(text)));
    if (m_dialogs.errorReport(m_owner, shown, inSession) && inSession) {
        m_quiet = true;
    }
}

void DialogReport::beginSession() {
    if (m_sessions++ == 0) m_files.clear();
}

std::int64_t DialogReport::endSession() {
    if (m_sessions == 0 || --m_sessions > 0) return 0;
    const std::int64_t unshown = m_unshown;
    m_quiet = false;
    m_unshown = 0;
    return unshown;
}

}  // namespace mv::app
