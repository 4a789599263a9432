#include "cli/terminal.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "cli/escape.h"
#include "engine/native_text.h"

namespace mv::cli {

namespace {

// A line redrawn more often than this is only flicker and system calls.
constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

Terminal::Terminal(bool showProgress) : m_showProgress(showProgress) {}

Terminal::~Terminal() {
    clearProgress();
}

bool Terminal::canShowProgress() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

void Terminal::eraseLocked() {
    if (m_drawn) std::fputs("\r\033[K", stderr);
    m_drawn = false;
}

void Terminal::drawLocked(bool force) {
    if (!m_showProgress || m_progress.current.empty()) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && m_drawn && now - m_lastDraw < kRedraw) return;
    m_lastDraw = now;
    std::string line = progressLine(m_progress, terminalColumns(STDERR_FILENO));
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void Terminal::printLine(const std::string& line) {
    std::lock_guard lock(m_mutex);
    eraseLocked();
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    drawLocked(true);
    std::fflush(stderr);
}

void Terminal::setCurrent(std::u16string_view name) {
    // Without a line to draw, a run of small files need not spell each name
    // nor take the lock for it.
    if (!m_showProgress) return;
    std::string shown = escapeForTerminal(engine::toNative(name));
    std::lock_guard lock(m_mutex);
    m_progress.current = std::move(shown);
    drawLocked(false);
}

void Terminal::setCounts(std::int64_t done, std::int64_t listed, bool listComplete,
                         std::int64_t bytes) {
    if (!m_showProgress) return;
    std::lock_guard lock(m_mutex);
    m_progress.done = done;
    m_progress.listed = listed;
    m_progress.listComplete = listComplete;
    m_progress.bytes = bytes;
    drawLocked(false);
}

void Terminal::clearProgress() {
    std::lock_guard lock(m_mutex);
    eraseLocked();
    m_progress.current.clear();
    std::fflush(stderr);
}

}  // namespace mv::cli
