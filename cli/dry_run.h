// --dry-run: each source and its result path on standard output, in
// conversion order; nothing is written.
#pragma once

#include <string>

#include "cli/convert_options.h"
#include "cli/file_ledger.h"
#include "cli/result_claims.h"
#include "cli/source_passes.h"
#include "cli/terminal.h"

namespace mv::cli {

// The exit status of the dry run.
int dryRun(const ConvertOptions& options, SourceInputs& inputs, const std::u16string& folder,
           ResultClaims& claims, Terminal& terminal, FileLedger& fileLedger);

}  // namespace mv::cli
