#include "cli/terminal.h"

#include <cmath>
#include <cstdio>

namespace mv::cli {

Terminal::Terminal(bool showProgress) : m_showProgress(showProgress) {}

Terminal::~Terminal() {
    clearProgress();
}

void Terminal::eraseLocked() {
    if (m_drawn) std::fputs("\r\033[K", stderr);
    m_drawn = false;
}

void Terminal::drawLocked() {
    if (!m_showProgress || m_text.empty()) return;
    std::fprintf(stderr, "\r\033[K[%3d%%] %s", m_percent, m_text.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void Terminal::printLine(const std::string& line) {
    std::lock_guard lock(m_mutex);
    eraseLocked();
    std::fprintf(stderr, "%s\n", line.c_str());
    drawLocked();
    std::fflush(stderr);
}

void Terminal::setProgress(double percent) {
    std::lock_guard lock(m_mutex);
    int value = std::isfinite(percent) ? static_cast<int>(std::lround(percent)) : 0;
    if (value == m_percent && m_drawn) return;
    m_percent = value;
    drawLocked();
}

void Terminal::setProgressText(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_text = text;
    drawLocked();
}

void Terminal::clearProgress() {
    std::lock_guard lock(m_mutex);
    eraseLocked();
    m_text.clear();
    std::fflush(stderr);
}

std::string reportLine(const std::string& description, const report::Location& where, int step) {
    // The location text ends in a blank, so "at line" follows it as in the window.
    return "marrowvale-cli: " + description + " [" + where.text() + "at line " +
           std::to_string(step) + "]";
}

void OrderedReports::Sink::show(const std::string& description, const report::Location& where,
                                int step) {
    m_owner.add(m_index, reportLine(description, where, step));
}

report::ErrorReport& OrderedReports::forFile(std::int64_t index) {
    std::lock_guard lock(m_mutex);
    return m_sinks.try_emplace(index, *this, index).first->second;
}

void OrderedReports::add(std::int64_t index, std::string line) {
    std::unique_lock lock(m_mutex);
    m_any = true;
    if (index < 0 || index == m_next) {
        lock.unlock();
        m_terminal.printLine(line);
        return;
    }
    m_held[index].push_back(std::move(line));
}

void OrderedReports::restart() {
    std::lock_guard lock(m_mutex);
    for (const auto& [index, lines] : m_held) {
        for (const auto& line : lines) m_terminal.printLine(line);
    }
    m_held.clear();
    m_done.clear();
    m_sinks.clear();
    m_next = 1;
}

void OrderedReports::fileDone(std::int64_t index) {
    std::lock_guard lock(m_mutex);
    m_done[index] = true;
    flushLocked();
}

void OrderedReports::flushLocked() {
    while (true) {
        auto held = m_held.find(m_next);
        if (held != m_held.end()) {
            for (const auto& line : held->second) m_terminal.printLine(line);
            m_held.erase(held);
        }
        auto done = m_done.find(m_next);
        if (done == m_done.end()) break;
        m_done.erase(done);
        m_sinks.erase(m_next);
        ++m_next;
    }
}

bool OrderedReports::anyReport() const {
    std::lock_guard lock(m_mutex);
    return m_any;
}

}  // namespace mv::cli
