#include "report/error_report.h"

#ifndef MV_SUPPORT_EMAIL
#define MV_SUPPORT_EMAIL "support@quillfen.example"
#endif

namespace mv::report {

namespace {
constexpr std::string_view kBuildDate = "2021/08/31";
}

std::string Location::text() const {
    std::string t = "in ";
    t.append(project).append(kBuildDate).append(".");
    t.append(module).append(".").append(procedure).append(" ");
    return t;
}

std::string_view supportEmail() {
    return MV_SUPPORT_EMAIL;
}

std::string reportMessage(const std::string& description, const Location& where, int step) {
    std::string m = description;
    m += "\r\n";
    m += where.text();
    m += "at line ";
    m += std::to_string(step);
    m += "\r\r";
    m += "Please email screenshot of this message to ";
    m += supportEmail();
    return m;
}

void RecordingReport::show(const std::string& description, const Location& where, int step) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back({description, where.text(), step});
}

std::vector<RecordingReport::Entry> RecordingReport::entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::vector<std::string> RecordingReport::steps() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& e : m_entries) out.push_back(e.location + "@" + std::to_string(e.step));
    return out;
}

std::size_t RecordingReport::size() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

}  // namespace mv::report
