#include "app/dialog_report.h"

#include "app/qt_text.h"
#include "engine/native_text.h"

namespace mv::app {

void DialogReport::show(const std::string& description, const report::Location& where, int step) {
    // Descriptions may carry a path's raw bytes; they cross as native text.
    const std::string text = report::reportMessage(description, where, step);
    m_dialogs.errorReport(m_owner, toQString(engine::fromNative(text)));
}

}  // namespace mv::app
