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
#include "cli/terminal.h"
#include "engine/native_text.h"

#ifndef MV_VERSION
#define MV_VERSION "0.0.0"
#endif

namespace mv::cli {

namespace {

struct ConvertOptions {
    std::string outputDir;
    bool beside = false;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    bool quiet = false;
    bool dryRun = false;
    std::vector<std::string> files;
};

void printMessage(std::u16string_view text) {
    std::fprintf(stderr, "marrowvale-cli: %s\n", engine::toNative(text).c_str());
}

// Lists each source and its result path, in conversion order; writes nothing.
int dryRun(const std::vector<std::u16string>& rows, bool toFolder, const std::u16string& folder) {
    for (const auto& source : rows) {
        auto output = app::ConversionRun::outputPathFor(source, toFolder, !toFolder, folder);
        std::printf("%s\t%s\n", engine::toNative(source).c_str(), engine::toNative(output).c_str());
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitReported;
}

int convert(const ConvertOptions& options) {
    std::vector<std::u16string> rows;
    rows.reserve(options.files.size());
    // Rows hold full paths, as the window's list does; a relative name would
    // otherwise put its result "beside" it in the root folder.
    for (const auto& file : options.files) {
        std::error_code error;
        auto full = std::filesystem::absolute(file, error);
        rows.push_back(engine::fromNative(error ? file : full.string()));
    }
    const bool toFolder = !options.outputDir.empty();
    const std::u16string folder = engine::fromNative(options.outputDir);

    if (options.dryRun) {
        if (rows.empty() || (toFolder && !app::IsFolder(folder))) {
            printMessage(rows.empty() ? app::kNoFilesAdded : app::kFolderMissing);
            return kExitUsage;
        }
        return dryRun(rows, toFolder, folder);
    }

    Terminal terminal(!options.quiet && isatty(STDERR_FILENO));
    OrderedReports reports(terminal);
    CliHost host(std::move(rows), toFolder, folder, terminal);
    std::optional<ParallelDispatcher> parallel;
    if (options.jobs > 1 && host.rowCount() > 1) parallel.emplace(options.jobs, reports);
    app::ConversionRun run(host, reports.immediate(), parallel ? &*parallel : nullptr);
    run.PushButton7_Click();
    reports.flushAll();
    terminal.clearProgress();

    for (const auto& message : host.messages()) {
        if (message == app::kNoFilesAdded || message == app::kFolderMissing) return kExitUsage;
    }
    return reports.anyReport() ? kExitReported : kExitOk;
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
            ->option_text("DIR");
    convertCmd
        ->add_flag("--beside", options.beside, "Write each result beside its source (the default)")
        ->excludes(out);
    convertCmd->add_option("-j,--jobs", options.jobs, "Files converted at once (default: cores)")
        ->check(CLI::Range(1u, 1024u));
    convertCmd->add_flag("-q,--quiet", options.quiet, "No progress, only failures");
    convertCmd->add_flag("--dry-run", options.dryRun,
                         "Print each source and its result path; write nothing");
    convertCmd->add_option("FILE", options.files, "XML files, converted in the order given");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }
    return convert(options);
}

}  // namespace mv::cli
