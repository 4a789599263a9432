/* marrowvale-cli: the conversion run for terminals, scripts and servers.

   runMain reads the arguments with CLI11 (convert_options.h for `convert`,
   script_command.h for `script`). `convert` then goes from the options to
   the sources (source_passes.h, over sources.h, file_list_reader.h and
   shard.h): a first pass notes every result path before anything is touched
   (result_claims.h), a second hands the sources to the run batch by batch
   (batch_run.h) or prints them (dry_run.h); `convert -` goes through
   standard_streams.h. The FileLedger tells each file's reports, --report
   record and progress in file order (file_ledger.h), and exit_status.h
   decides the exit status once the run has ended. */
#pragma once

#include "cli/exit_status.h"

namespace mv::cli {

int runMain(int argc, char** argv);

}  // namespace mv::cli
