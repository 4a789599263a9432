/* The application error report: how an unexpected failure reaches the user.

   A reporting procedure names its Location and numbers its steps; when a step
   fails, the StepRunner (step_runner.h) hands the failure's description, the
   location and the step number to an ErrorReport sink, then the procedure goes
   on with its next step. Sinks: the window's message box, standard error for
   the command line, and RecordingReport for tests. */
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace mv::report {

struct Location {
    std::string_view project;    // "Tessaline" or "Corvane"
    std::string_view module;     // "Main", "JSON", "Form1", "AddFolder"
    std::string_view procedure;  // "ReplaceXML"
    // "in " + project + build date + "." + module + "." + procedure + " "
    std::string text() const;
};

class ErrorReport {
public:
    virtual ~ErrorReport() = default;
    // Shows one failure; returns when the user has seen it.
    virtual void show(const std::string& description, const Location& where, int step) = 0;
};

// The support address compiled into this build.
std::string_view supportEmail();

// The whole text of the report box: description, CR LF, location, "at line ",
// step, two bare CRs, and the request to mail a screenshot.
std::string reportMessage(const std::string& description, const Location& where, int step);

// Drops every report: for work that only looks, whose failures are told
// elsewhere or not at all.
class SilentReport : public ErrorReport {
public:
    void show(const std::string&, const Location&, int) override {}
};

// Keeps every report, in order, for tests. Safe to share between threads.
class RecordingReport : public ErrorReport {
public:
    struct Entry {
        std::string description;
        std::string location;
        int step = 0;
    };
    void show(const std::string& description, const Location& where, int step) override;
    std::vector<Entry> entries() const;
    // "location@step" of every entry, e.g. "in Tessaline2021/08/31.Main.ReplaceXML @108".
    std::vector<std::string> steps() const;
    std::size_t size() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

}  // namespace mv::report
