#include "cli/exit_status.h"

#include <cerrno>

#include "cli/file_ledger.h"
#include "cli/message.h"
#include "cli/report_writer.h"
#include "cli/signals.h"
#include "cli/source_passes.h"
#include "cli/terminal.h"
#include "report/failure.h"

namespace mv::cli {

int outputFailed(int error) {
    if (error == EPIPE) leaveOnBrokenPipe();
    printMessage(std::string("cannot write to standard output: ") + report::systemErrorText(error));
    return kExitRunFailed;
}

int statusAfterRun(const RunEnd& end, Terminal& terminal, const FileLedger& fileLedger,
                   const PassedOver& passedOver) {
    terminal.clearProgress();
    if (end.usageError) return kExitUsage;
    passedOver.tellCount();
    std::string summary = fileLedger.summary();
    if (!summary.empty()) terminal.printLine("marrowvale-cli: " + summary);
    if (terminal.showsProgress()) terminal.printLine("Done.");
    // The run could not be completed: a retry may mend what the data cannot.
    if (!end.listRead || end.folderGone || !end.synced) return kExitRunFailed;
    bool failed = fileLedger.anyReport() || !summary.empty() || passedOver.count() > 0;
    return failed ? kExitReported : kExitOk;
}

int closeReport(ReportWriter* records, const std::string& reportPath, int code) {
    if (records == nullptr) return code;
    if (code == kExitUsage) records->abandon();  // nothing is touched
    if (!records->close()) {
        printMessage("cannot write the report " + reportPath + ": " +
                     report::systemErrorText(errno));
        return kExitRunFailed;
    }
    return code;
}

}  // namespace mv::cli
