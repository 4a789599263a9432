// Standard error for the command line: report lines, messages, and a progress
// line that is drawn only on a terminal and never mixed into other output.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "report/error_report.h"

namespace mv::cli {

class Terminal {
public:
    explicit Terminal(bool showProgress);
    ~Terminal();
    void printLine(const std::string& line);
    void setProgress(double percent);
    void setProgressText(const std::string& text);
    void clearProgress();
    bool showsProgress() const { return m_showProgress; }

private:
    void drawLocked();
    void eraseLocked();

    std::mutex m_mutex;
    bool m_showProgress;
    bool m_drawn = false;
    int m_percent = 0;
    std::string m_text;
};

// One line per report: description, location and step.
std::string reportLine(const std::string& description, const report::Location& where, int step);

// Reports printed in file order: a file's reports are held until every file
// before it is done, so parallel work reads like a sequential run.
class OrderedReports {
public:
    explicit OrderedReports(Terminal& terminal) : m_terminal(terminal) {}

    // The sink for reports that are not about one file: printed at once.
    report::ErrorReport& immediate() { return m_immediate; }
    // The sink for one file's reports.
    report::ErrorReport& forFile(std::int64_t index);
    // The file's reports may go out once all earlier files are done.
    void fileDone(std::int64_t index);
    // Prints whatever is still held (files that never ran) and starts
    // counting files from 1 again, for the next run.
    void restart();
    bool anyReport() const;

private:
    class Sink : public report::ErrorReport {
    public:
        Sink(OrderedReports& owner, std::int64_t index) : m_owner(owner), m_index(index) {}
        void show(const std::string& description, const report::Location& where, int step) override;

    private:
        OrderedReports& m_owner;
        std::int64_t m_index;
    };
    void add(std::int64_t index, std::string line);
    void flushLocked();

    Terminal& m_terminal;
    Sink m_immediate{*this, -1};
    mutable std::mutex m_mutex;
    std::map<std::int64_t, Sink> m_sinks;
    std::map<std::int64_t, std::vector<std::string>> m_held;
    std::map<std::int64_t, bool> m_done;
    std::int64_t m_next = 1;  // the first file whose reports are not out yet
    bool m_any = false;
};

}  // namespace mv::cli
