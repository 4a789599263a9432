#include "report/held_reports.h"

#include <utility>

namespace mv::report {

void HeldReports::show(const std::string& description, const Location& where, int step) {
    if (m_holding) {
        m_held.push_back({description, where, step});
    } else {
        m_target.show(description, where, step);
    }
}

std::vector<HeldReports::Entry> HeldReports::take() {
    m_holding = false;
    return std::exchange(m_held, {});
}

void HeldReports::release(std::vector<Entry>& entries) {
    for (const Entry& e : entries) m_target.show(e.description, e.where, e.step);
    entries.clear();
}

}  // namespace mv::report
