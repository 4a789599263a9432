// The exit status of a command, decided once its run has ended.
#pragma once

#include <string>

namespace mv::cli {

class FileLedger;
class PassedOver;
class ReportWriter;
class Terminal;

// Exit status, so that a scheduler can tell what a retry may mend: 0 all
// converted without a report; 1 a source had a report (a fault of the data,
// which its record names); 2 a usage error, nothing touched; 3 the run could
// not be completed (the report, standard output, a list or the final sync
// failed, or the output folder vanished). Signals end it with 128 + n.
enum ExitCode : int { kExitOk = 0, kExitReported = 1, kExitUsage = 2, kExitRunFailed = 3 };

// Standard output could not take everything: said, as a failed run. A
// reader that went away ends the run as SIGPIPE would.
int outputFailed(int error);

// How a conversion over listed sources ended.
struct RunEnd {
    bool usageError = false;  // no files, or the output folder missing from the start
    bool listRead = true;     // the --files-from list was read to its end
    bool folderGone = false;  // the output folder vanished after results were written
    bool synced = true;       // every result is on stable storage
};

// Tells what is left to tell (folders passed over, the summary, "Done.")
// and gives the status for `end`.
int statusAfterRun(const RunEnd& end, Terminal& terminal, const FileLedger& fileLedger,
                   const PassedOver& passedOver);

// Puts the report in place, or drops it after a usage error: `code`, or a
// failed run when the report cannot be written.
int closeReport(ReportWriter* records, const std::string& reportPath, int code);

}  // namespace mv::cli
