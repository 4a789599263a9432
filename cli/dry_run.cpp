#include "cli/dry_run.h"

#include <cerrno>
#include <cstdio>

#include "cli/escape.h"
#include "cli/exit_status.h"
#include "cli/message.h"
#include "cli/output_folder.h"
#include "cli/up_to_date.h"
#include "engine/native_text.h"
#include "run/conversion_run.h"

namespace mv::cli {

namespace {

void printPair(const std::u16string& source, const std::u16string& result, bool nul) {
    std::string a = engine::toNative(source), b = engine::toNative(result);
    if (nul) {
        std::fwrite(a.c_str(), 1, a.size() + 1, stdout);
        std::fwrite(b.c_str(), 1, b.size() + 1, stdout);
    } else {
        std::printf("%s\t%s\n", escapeForTerminal(a).c_str(), escapeForTerminal(b).c_str());
    }
}

}  // namespace

int dryRun(const ConvertOptions& options, SourceInputs& inputs, const std::u16string& folder,
           ResultClaims& claims, Terminal& terminal, FileLedger& fileLedger) {
    OutputFolder outputFolder(options.toFolder, options.outputDir);
    PassedOver passedOver(terminal, options.quiet);
    Listing listing = passedOver.listing();
    report::ErrorReport& report = fileLedger.immediate();
    bool replaced = false;
    bool read = listSources(options, inputs, report, listing, [&](const Source& source) {
        if (!outputFolder.foundForSource()) return;
        auto output = run::ConversionRun::outputPathFor(
            source.path, options.toFolder, !options.toFolder, resultFolder(folder, source), report);
        if (output.empty()) return;  // reported: no result could be written
        for (const auto& earlier : claims.take(output, source.path).replaces) {
            printMessage(replacedLine(earlier, output, source.path));
            replaced = true;
        }
        if (options.update && resultIsCurrent(source.path, output)) return;
        printPair(source.path, output, options.nul);
    });
    int code = kExitOk;
    if (!read) {
        code = kExitRunFailed;
    } else {
        if (listing.listed == 0) printMessage(run::kNoFilesAdded);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            code = outputFailed(errno);
        } else if (listing.listed == 0) {
            code = kExitUsage;
        } else if (fileLedger.anyReport() || replaced) {
            code = kExitReported;
        }
    }
    passedOver.tellCount();
    if (outputFolder.missing()) code = kExitUsage;
    return code == kExitOk && passedOver.count() > 0 ? kExitReported : code;
}

}  // namespace mv::cli
