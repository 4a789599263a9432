/* marrowvale-cli: the conversion run for terminals, scripts and servers.

   convert_command parses the arguments (CLI11), lists the sources (sources.h,
   file_list_reader.h, shard.h) twice: first to note every result path
   before anything is touched (result_claims.h), then to drive
   run::ConversionRun with a CliHost, a few thousand files per run; with -j
   above 1 a ParallelDispatcher converts several files at once. The FileLedger tells each file's
   reports, --report record and progress in file order (file_ledger.h). `convert -` goes through
   standard_streams.h. */
#pragma once

namespace mv::cli {

// Exit status, so that a scheduler can tell what a retry may mend: 0 all
// converted without a report; 1 a source had a report (a fault of the data,
// which its record names); 2 a usage error, nothing touched; 3 the run could
// not be completed (the report, standard output, a list or the final sync
// failed, or the output folder vanished). Signals end it with 128 + n.
enum ExitCode : int { kExitOk = 0, kExitReported = 1, kExitUsage = 2, kExitRunFailed = 3 };

int runMain(int argc, char** argv);

}  // namespace mv::cli
