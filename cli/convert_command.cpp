#include "cli/convert_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/run/conversion_run.h"
#include "app/run/paths.h"
#include "cli/cli_host.h"
#include "cli/parallel_dispatcher.h"
#include "cli/script_command.h"
#include "cli/signals.h"
#include "cli/sources.h"
#include "cli/terminal.h"
#include "engine/durability.h"
#include "engine/native_text.h"
#include "report/locations.h"
#include "report/step_runner.h"

#ifndef MV_VERSION
#define MV_VERSION "0.0.0"
#endif

namespace mv::cli {

namespace {

struct ConvertOptions {
    std::string outputDir;
    bool toFolder = false;  // -o was given, even with an empty name
    bool beside = false;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    bool quiet = false;
    bool dryRun = false;
    bool allFiles = false;
    std::vector<std::string> files;
};

void printMessage(std::u16string_view text) {
    std::fprintf(stderr, "marrowvale-cli: %s\n", engine::toNative(text).c_str());
}

// Files handed to one run of the conversion: a folder of any size streams
// through runs of this many files, so memory stays flat.
constexpr std::size_t kBatch = 4096;

int convert(const ConvertOptions& options) {
    const bool toFolder = options.toFolder;
    const std::u16string folder = engine::fromNative(options.outputDir);
    const std::u16string pattern = options.allFiles ? u"*.*" : u"*.xml";
    Terminal terminal(!options.quiet && !options.dryRun && isatty(STDERR_FILENO));
    OrderedReports reports(terminal);
    // As the run asks: files first ("No files added."), then the folder. The
    // folder is tested when the first file comes; if it is missing, nothing
    // is touched and the remaining sources are passed over.
    bool any = false;
    bool folderMissing = false;
    auto firstSourceFindsFolder = [&] {
        if (!any && toFolder && !app::IsFolder(folder)) {
            printMessage(app::kFolderMissing);
            folderMissing = true;
        }
        any = true;
        return !folderMissing;
    };

    if (options.dryRun) {
        // Each source and its result path, in conversion order; nothing is written.
        forEachSource(
            options.files, pattern,
            [&](const std::u16string& source) {
                if (!firstSourceFindsFolder()) return;
                auto output = app::ConversionRun::outputPathFor(source, toFolder, !toFolder, folder,
                                                                reports.immediate());
                if (output.empty()) return;  // reported: no result could be written
                std::printf("%s\t%s\n", engine::toNative(source).c_str(),
                            engine::toNative(output).c_str());
            },
            reports.immediate());
        if (!any) printMessage(app::kNoFilesAdded);
        if (!any || folderMissing) return kExitUsage;
        if (std::fflush(stdout) != 0) return kExitReported;
        return reports.anyReport() ? kExitReported : kExitOk;
    }

    removeTemporaryFilesOnSignals();
    engine::SyncLedger ledger;

    std::optional<ParallelDispatcher> parallel;
    if (options.jobs > 1) parallel.emplace(options.jobs, reports);
    bool usageError = false;
    bool folderGone = false;  // missing only after results were written
    std::size_t converted = 0;
    std::vector<std::u16string> batch;
    auto runBatch = [&] {
        const bool first = converted <= kBatch;
        // One file gets every worker for its chunks; several share them by file.
        const unsigned chunkWorkers = batch.size() == 1 ? options.jobs : 1;
        CliHost host(std::move(batch), toFolder, folder, terminal);
        batch.clear();
        app::ConversionRun run(host, reports.immediate(), parallel ? &*parallel : nullptr, &ledger);
        run.setChunkWorkers(chunkWorkers);
        run.PushButton7_Click();
        reports.restart();
        for (const auto& message : host.messages()) {
            if (message == app::kNoFilesAdded) usageError = true;
            // A folder that vanished after earlier runs wrote their results
            // is a failure of this run, not a usage error: work was done.
            if (message == app::kFolderMissing) (first ? usageError : folderGone) = true;
        }
    };
    forEachSource(
        options.files, pattern,
        [&](const std::u16string& source) {
            if (!firstSourceFindsFolder() || folderGone) return;
            batch.push_back(source);
            if (++converted % kBatch == 0) runBatch();
        },
        reports.immediate());
    // The last files; with none at all, the run says "No files added.".
    if (!folderMissing && !folderGone && (!batch.empty() || converted == 0)) runBatch();
    // Every result written is on stable storage before the command returns.
    report::StepRunner step(reports.immediate(), report::locations::kPushButton7Click);
    step(188, [&] { ledger.syncAll(); });
    terminal.clearProgress();
    if (usageError || folderMissing) return kExitUsage;
    if (terminal.showsProgress()) terminal.printLine("Done.");
    return reports.anyReport() || folderGone ? kExitReported : kExitOk;
}

}  // namespace

int runMain(int argc, char** argv) {
    CLI::App app{"Marrowvale: converts XML files into JSON text files.", "marrowvale-cli"};
    app.set_version_flag("--version", std::string("marrowvale-cli ") + MV_VERSION);
    app.require_subcommand(1);
    app.footer("Exit status: 0 all files converted, 1 a failure was reported, 2 usage error.");

    ConvertOptions options;
    auto* convertCmd = app.add_subcommand("convert", "Convert XML files into .json files");
    auto* out =
        convertCmd->add_option("-o,--output-dir", options.outputDir, "Write every result into DIR")
            ->option_text("DIR")
            ->each([&](const std::string&) { options.toFolder = true; });
    convertCmd
        ->add_flag("--beside", options.beside, "Write each result beside its source (the default)")
        ->excludes(out);
    convertCmd
        ->add_option("-j,--jobs", options.jobs,
                     "Files converted at once, or chunks of a single file (default: cores)")
        ->check(CLI::Range(1u, 1024u));
    convertCmd->add_flag("-q,--quiet", options.quiet, "No progress, only failures");
    convertCmd->add_flag("--dry-run", options.dryRun,
                         "Print each source and its result path; write nothing");
    convertCmd->add_flag("--all-files", options.allFiles,
                         "Take every file of a folder, not only *.xml");
    convertCmd->add_option("FILE", options.files,
                           "XML files and folders, converted in the order given; a folder "
                           "gives its *.xml files and those of its sub-folders, level by level");

    std::string scriptFile;
    auto* scriptCmd =
        app.add_subcommand("script", "Run a script written as JSON; print its output");
    scriptCmd->add_option("FILE", scriptFile, "The script, read as UTF-8; - reads standard input")
        ->required();
    scriptCmd->footer(
        "Exit status: 0 the script ran, 1 it could not be read, was not accepted or failed, "
        "2 usage error.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (scriptCmd->parsed()) return runScript(scriptFile);
    return convert(options);
}

}  // namespace mv::cli
