#include "cli/convert_command.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli/batch_run.h"
#include "cli/cli_host.h"
#include "cli/convert_options.h"
#include "cli/dry_run.h"
#include "cli/file_ledger.h"
#include "cli/message.h"
#include "cli/output_folder.h"
#include "cli/result_claims.h"
#include "cli/script_command.h"
#include "cli/signals.h"
#include "cli/source_passes.h"
#include "cli/standard_streams.h"
#include "cli/terminal.h"
#include "cli/usage_errors.h"
#include "engine/cpu/isa.h"
#include "engine/durability.h"
#include "engine/native_text.h"
#include "engine/read_ahead.h"
#include "report/step_runner.h"
#include "run/conversion_run.h"

#ifndef MV_VERSION
#define MV_VERSION "0.0.0"
#endif

namespace mv::cli {

namespace {

// `convert -`: standard input to standard output.
int convertStream(unsigned jobs, Terminal& terminal, FileLedger& fileLedger) {
    std::optional<StreamedSource> stream;
    if (auto failed = report::errorTextOf([&] { stream.emplace(); })) {
        printMessage(*failed);
        return kExitRunFailed;
    }
    const std::u16string source = engine::fromNative(stream->source());
    const std::u16string folder = engine::fromNative(stream->resultFolder());
    fileLedger.setLabel(source, u"-");
    fileLedger.listed();
    fileLedger.listComplete();
    LedgerDispatcher dispatcher(fileLedger, nullptr);
    CliHost host({source}, true, folder, terminal);
    fileLedger.startRun(host.rows());
    engine::SyncLedger unsynced;  // the result is copied out, never kept
    run::ConversionRun conversion(host, fileLedger.immediate(), &dispatcher, &unsynced);
    conversion.setChunkWorkers(jobs);  // one file: every worker on its chunks
    conversion.PushButton7_Click();
    fileLedger.endRun();
    terminal.clearProgress();
    auto failed = report::errorTextOf([&] {
        stream->copyOut(
            engine::toNative(run::ConversionRun::outputPathFor(source, true, false, folder)));
    });
    if (failed) {
        printMessage(*failed);
        return kExitRunFailed;
    }
    if (std::fflush(stdout) != 0) return outputFailed(errno);
    return fileLedger.anyReport() ? kExitReported : kExitOk;
}

// The second pass: every source to the run, batch by batch.
int convertListed(const ConvertOptions& options, SourceInputs& inputs, const std::u16string& folder,
                  ResultClaims& claims, Terminal& terminal, FileLedger& fileLedger) {
    OutputFolder outputFolder(options.toFolder, options.outputDir);
    PassedOver passedOver(terminal, options.quiet);
    Listing listing = passedOver.listing();
    BatchRun batches(options, folder, claims, terminal, fileLedger);
    const bool listRead =
        listSources(options, inputs, fileLedger.immediate(), listing, [&](const Source& source) {
            if (outputFolder.foundForSource() && !batches.folderGone()) batches.take(source);
        });
    fileLedger.listComplete();
    const RunEnd end = batches.finish(listRead, listing.listed, outputFolder);
    return statusAfterRun(end, terminal, fileLedger, passedOver);
}

int convert(const ConvertOptions& options) {
    // First of all, before any other thread starts.
    removeTemporaryFilesOnSignals();
    SourceInputs inputs;
    if (auto code = openInputs(options, inputs)) return *code;
    const std::u16string folder = engine::fromNative(options.outputDir);
    const bool stream = options.streams();
    ResultClaims claims;
    if (!stream) {
        if (auto code = firstPass(options, inputs, folder, claims)) return *code;
    }
    Terminal terminal(!options.quiet && !options.dryRun && !stream && Terminal::canShowProgress());
    ReportWriter* records = inputs.report();
    FileLedger fileLedger(terminal, options.verbose, records);
    // A signal puts the report in place with every record that is complete.
    std::optional<LeaveAction> reportOnSignal;
    if (records) {
        reportOnSignal.emplace([&] {
            fileLedger.recordWhatIsComplete();
            records->close();
        });
    }
    // Beside FILE, which stays as it is until the report is complete.
    if (auto failed = report::errorTextOf([&] {
            if (records) records->open();
        })) {
        printMessage(*failed);
        return kExitRunFailed;
    }
    // More than one core given: a large source reads its next blocks on a
    // thread of its own while its chunks are converted.
    engine::setReadAhead(options.jobs > 1);
    int code = 0;
    if (stream) {
        code = convertStream(options.jobs, terminal, fileLedger);
    } else if (options.dryRun) {
        code = dryRun(options, inputs, folder, claims, terminal, fileLedger);
    } else {
        code = convertListed(options, inputs, folder, claims, terminal, fileLedger);
    }
    return closeReport(records, options.reportPath, code);
}

const char* const kExitStatusText =
    "Exit status: 0 every file converted without a report; 1 a source had a report (its "
    "record says which); 2 usage error, nothing touched; 3 the run could not be completed "
    "(the report, standard output, a list or the final sync failed, or the output folder "
    "vanished), which a retry may mend; 128+N ended by signal N.\n";

// The error may quote an argument, which may be a hostile file name.
int usageError(const std::string& text) {
    printMessage(text);
    std::fputs("Run with --help for more information.\n", stderr);
    return kExitUsage;
}

// What is refused before CLI11 reads the arguments: a vector variant forced
// for a bug report that cannot run, and a first word that names no command.
std::optional<int> refusedBeforeParsing(int argc, char** argv) {
    if (std::string isa = engine::cpu::requestError(); !isa.empty()) return usageError(isa);
    if (argc > 1 && argv[1][0] != '-' && std::string_view(argv[1]) != "convert" &&
        std::string_view(argv[1]) != "script") {
        printMessage("unknown command '" + std::string(argv[1]) +
                     "' (commands: convert, script; --help shows them)");
        return kExitUsage;
    }
    return std::nullopt;
}

struct ScriptCommand {
    CLI::App* command = nullptr;
    CLI::Option* file = nullptr;
};

ScriptCommand addScriptCommand(CLI::App& app, std::string& scriptFile, const std::string& version) {
    ScriptCommand script;
    script.command = app.add_subcommand("script", "Run a script written as JSON; print its output");
    script.command->allow_extras();
    script.command->set_version_flag("--version", version);
    script.file =
        script.command
            ->add_option("FILE", scriptFile, "The script, read as UTF-8; - reads standard input")
            ->option_text(" ");
    script.command->footer(
        "Exit status: 0 the script ran, 1 it could not be read, was not accepted or failed, "
        "2 usage error.\n");
    return script;
}

}  // namespace

int runMain(int argc, char** argv) {
    engine::reserveDescriptors();  // before the first thread
    CLI::App app{"Marrowvale: converts XML files into JSON text files.", "marrowvale-cli"};
    // The second line names the vector variant the scans run on, for bug reports.
    const std::string version = std::string("marrowvale-cli ") + MV_VERSION + "\nvector scans: " +
                                std::string(engine::cpu::nameOf(engine::cpu::activeIsa()));
    app.set_version_flag("--version", version);
    app.require_subcommand(0, 1);
    // Unknown options and arguments too many are told in our words below.
    app.allow_extras();
    app.footer(kExitStatusText);
    ConvertOptions options;
    CLI::App* convertCmd = addConvertCommand(app, options, version, kExitStatusText);
    std::string scriptFile;
    const ScriptCommand script = addScriptCommand(app, scriptFile, version);
    if (auto code = refusedBeforeParsing(argc, argv)) return *code;
    // CLI11 tells a usage error, --help and --version only by throwing.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        return usageError(usageMessage(e, script.command->parsed() ? *script.command
                                          : convertCmd->parsed()   ? *convertCmd
                                                                   : app));
    }
    if (auto extra = unexpectedArgument(app)) return usageError(*extra);
    if (script.command->parsed()) {
        if (script.file->count() == 0)
            return usageError("script needs a FILE (- reads standard input)");
        return runScript(scriptFile);
    }
    if (!convertCmd->parsed()) return usageError("a command is needed (commands: convert, script)");
    if (auto why = settleConvertOptions(options)) return usageError(*why);
    return convert(options);
}

}  // namespace mv::cli
