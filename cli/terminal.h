// Standard error for the command line: report lines, messages, and a progress
// line that is drawn only on a terminal that understands control sequences
// (not TERM=dumb) and is never mixed into other output.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>

#include "cli/progress_line.h"

namespace mv::cli {

class Terminal {
public:
    explicit Terminal(bool showProgress);
    ~Terminal();
    // Whether standard error is a terminal that may get a progress line.
    static bool canShowProgress();

    // Prints the line as it is; callers escape names and texts.
    void printLine(const std::string& line);
    // The file being converted (spelt for the system and escaped here).
    void setCurrent(std::u16string_view name);
    void setCounts(std::int64_t done, std::int64_t listed, bool listComplete, std::int64_t bytes);
    void clearProgress();
    bool showsProgress() const { return m_showProgress; }

private:
    void drawLocked(bool force);
    void eraseLocked();

    std::mutex m_mutex;
    const bool m_showProgress;
    bool m_drawn = false;
    Progress m_progress;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

}  // namespace mv::cli
