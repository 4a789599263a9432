#include "cli/convert_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_host.h"
#include "cli/cpu_count.h"
#include "cli/escape.h"
#include "cli/file_ledger.h"
#include "cli/file_list_reader.h"
#include "cli/parallel_dispatcher.h"
#include "cli/report_writer.h"
#include "cli/result_claims.h"
#include "cli/script_command.h"
#include "cli/shard.h"
#include "cli/signals.h"
#include "cli/sources.h"
#include "cli/standard_streams.h"
#include "cli/terminal.h"
#include "cli/up_to_date.h"
#include "cli/usage_errors.h"
#include "engine/cpu/isa.h"
#include "engine/durability.h"
#include "engine/folder_walk.h"
#include "engine/native_text.h"
#include "engine/read_ahead.h"
#include "paths/paths.h"
#include "report/locations.h"
#include "report/step_runner.h"
#include "run/conversion_run.h"

#ifndef MV_VERSION
#define MV_VERSION "0.0.0"
#endif

namespace mv::cli {

namespace {

struct ConvertOptions {
    std::string outputDir;
    bool toFolder = false;  // -o was given, even with an empty name
    bool beside = false;
    unsigned jobs = usableCpus();
    std::string jobsText;  // -j as given; empty for the default
    bool quiet = false;
    bool verbose = false;
    bool dryRun = false;
    bool allFiles = false;
    bool nul = false;
    bool parents = false;
    bool update = false;
    std::string filesFrom;
    std::string reportPath;
    std::string shard;
    std::vector<std::string> files;
};

void printMessage(const std::string& text) {
    std::string line = "marrowvale-cli: " + escapeForTerminal(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void printMessage(std::u16string_view text) {
    printMessage(engine::toNative(text));
}

// Files handed to one run of the conversion: a folder of any size streams
// through runs of this many files, so memory stays flat.
constexpr std::size_t kBatch = 4096;

// The output folder of a source: DIR, or the source's place in DIR when the
// tree of a folder argument is mirrored there.
std::u16string resultFolder(const std::u16string& folder, const Source& source) {
    if (source.subfolder.empty()) return folder;
    return paths::CollapseBackslashes(folder + paths::kNativeSeparator + source.subfolder);
}

// Standard output could not take everything: say so, as a failed run. A
// reader that went away ends the run as SIGPIPE would.
int outputFailed(int error) {
    if (error == EPIPE) leaveOnBrokenPipe();
    printMessage(std::string("cannot write to standard output: ") + std::strerror(error));
    return kExitRunFailed;
}

// What a pass over the sources met besides the sources it took.
struct Listing {
    std::int64_t listed = 0;  // every source, shard or not
    std::string climbing;     // the first name --parents cannot place below DIR
    std::function<void(const std::u16string& folder)> passedOver;
};

// The report may replace neither a source of the run nor a result: said,
// and true, for the first source that meets it.
bool clashesWithReport(const ReportWriter* records, const Source& source,
                       const std::u16string& result, const std::string& reportPath) {
    if (records == nullptr || !records->replacesFile()) return false;
    std::string clash = clashWithReport(*records, source.path, result);
    if (!clash.empty()) printMessage("--report " + reportPath + " is refused: " + clash);
    return !clash.empty();
}

// Every source of the command line and of the --files-from list, in order,
// that falls into the shard. False, said, when the list could not be read to
// its end.
bool listSources(const ConvertOptions& options, NameList* list, const std::optional<Shard>& shard,
                 report::ErrorReport& report, Listing& listing, SourceSpool& spool,
                 const std::function<void(const Source&)>& take) {
    spool.startPass();
    auto one = [&](const std::string& name) {
        spool.forEachSource(
            name, options.allFiles,
            [&](const Source& found) {
                ++listing.listed;
                if (shard && !shard->holds(found.name)) return;
                Source source = found;
                if (options.parents && !placeUnderParents(source)) {
                    if (listing.climbing.empty()) listing.climbing = source.name;
                    return;
                }
                take(source);
            },
            report, listing.passedOver);
    };
    for (const auto& file : options.files) one(file);
    if (list == nullptr) return true;
    try {
        list->forEach(options.nul ? '\0' : '\n', one);
    } catch (const std::runtime_error& e) {
        printMessage(e.what());
        return false;
    }
    return true;
}

// A source whose result a later source replaces, and the text that names
// both, told with the later source.
std::string replacedLine(const std::u16string& earlier, const std::u16string& result,
                         const std::u16string& later) {
    return engine::toNative(earlier) + ": its result " + engine::toNative(result) +
           " is replaced by that of " + engine::toNative(later);
}

int dryRun(const ConvertOptions& options, NameList* list, const std::optional<Shard>& shard,
           bool toFolder, const std::u16string& folder, FileLedger& fileLedger,
           const std::function<bool()>& firstSourceFindsFolder, Listing& listing,
           ResultClaims& claims, SourceSpool& spool) {
    // Each source and its result path, in conversion order; nothing is written.
    bool replaced = false;
    bool ok = listSources(
        options, list, shard, fileLedger.immediate(), listing, spool, [&](const Source& source) {
            if (!firstSourceFindsFolder()) return;
            auto output = run::ConversionRun::outputPathFor(source.path, toFolder, !toFolder,
                                                            resultFolder(folder, source),
                                                            fileLedger.immediate());
            if (output.empty()) return;  // reported: no result could be written
            for (const auto& earlier : claims.take(output, source.path).replaces) {
                printMessage(replacedLine(earlier, output, source.path));
                replaced = true;
            }
            if (options.update && resultIsCurrent(source.path, output)) return;
            std::string a = engine::toNative(source.path), b = engine::toNative(output);
            if (options.nul) {
                std::fwrite(a.c_str(), 1, a.size() + 1, stdout);
                std::fwrite(b.c_str(), 1, b.size() + 1, stdout);
            } else {
                std::printf("%s\t%s\n", escapeForTerminal(a).c_str(), escapeForTerminal(b).c_str());
            }
        });
    if (!ok) return kExitRunFailed;
    if (listing.listed == 0) printMessage(run::kNoFilesAdded);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return outputFailed(errno);
    if (listing.listed == 0) return kExitUsage;
    return fileLedger.anyReport() || replaced ? kExitReported : kExitOk;
}

// `convert -`: standard input to standard output.
int convertStream(unsigned jobs, Terminal& terminal, FileLedger& fileLedger) {
    std::optional<StreamedSource> stream;
    try {
        stream.emplace();
    } catch (const std::runtime_error& e) {
        printMessage(e.what());
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
    try {
        stream->copyOut(
            engine::toNative(run::ConversionRun::outputPathFor(source, true, false, folder)));
    } catch (const std::runtime_error& e) {
        printMessage(e.what());
        return kExitRunFailed;
    }
    if (std::fflush(stdout) != 0) return outputFailed(errno);
    return fileLedger.anyReport() ? kExitReported : kExitOk;
}

// The result path of a source, as the run will work it out.
std::u16string resultOf(const ConvertOptions& options, const std::u16string& folder,
                        const Source& source, report::ErrorReport& report) {
    return run::ConversionRun::outputPathFor(source.path, options.toFolder, !options.toFolder,
                                             resultFolder(folder, source), report);
}

// The first pass over the sources, before anything is touched: a name that
// --parents cannot place, or a report that would replace a source or a
// result, is a usage error, and every result path is noted,
// so that the second pass knows which results later sources replace. An
// exit status, or nothing to go on.
std::optional<int> firstPass(const ConvertOptions& options, NameList* list,
                             const std::optional<Shard>& shard, const std::u16string& folder,
                             ResultClaims& claims, SourceSpool& spool,
                             const ReportWriter* records) {
    // It only looks: the second pass reports what it meets.
    report::SilentReport unheard;
    Listing listing;
    bool clash = false;
    bool read =
        listSources(options, list, shard, unheard, listing, spool, [&](const Source& source) {
            const auto result = resultOf(options, folder, source, unheard);
            claims.note(result, source.path);
            if (!clash) clash = clashesWithReport(records, source, result, options.reportPath);
        });
    if (!read) return kExitRunFailed;
    if (clash) return kExitUsage;
    if (!listing.climbing.empty()) {
        printMessage("--parents cannot place " + listing.climbing +
                     " below the output folder: a \"..\" would leave it");
        return kExitUsage;
    }
    claims.seal();
    return std::nullopt;
}

// Why results cannot be written into the output folder, if they cannot; one
// look before the first file instead of a report for every file. The
// effective ids decide, as they will when the results are created.
std::optional<std::string> unwritableFolder(const std::string& folder) {
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return std::nullopt;
    return "cannot write into the output folder " + folder + ": " + std::strerror(errno);
}

int convert(const ConvertOptions& options) {
    // First of all, before any other thread starts.
    removeTemporaryFilesOnSignals();
    const bool toFolder = options.toFolder;
    const std::u16string folder = engine::fromNative(options.outputDir);
    std::optional<Shard> shard;
    if (!options.shard.empty()) {
        shard = Shard::parse(options.shard);
        if (!shard) {
            printMessage("--shard takes K/N, with 1 <= K <= N: " + options.shard);
            return kExitUsage;
        }
    }
    const auto dashes = std::count(options.files.begin(), options.files.end(), "-");
    if (dashes > 0 && (options.files.size() > 1 || !options.filesFrom.empty() || toFolder ||
                       options.beside || options.reportPath == "-")) {
        printMessage(
            "- (standard input to standard output) goes alone, without --files-from, -o, "
            "--beside or --report -");
        return kExitUsage;
    }
    std::optional<NameList> list;
    std::optional<ReportWriter> records;
    try {
        if (!options.filesFrom.empty()) list.emplace(options.filesFrom);
        if (!options.reportPath.empty()) {
            records.emplace(options.reportPath);
            records->setOrigin(hostName(), shard ? std::to_string(shard->index) + "/" +
                                                       std::to_string(shard->count)
                                                 : std::string());
        }
    } catch (const std::runtime_error& e) {
        printMessage(e.what());  // nothing is touched
        return kExitUsage;
    }
    NameList* names = list ? &*list : nullptr;
    ResultClaims claims;
    SourceSpool spool;  // the second pass goes over what the first one listed
    if (dashes == 0) {
        if (auto code = firstPass(options, names, shard, folder, claims, spool,
                                  records ? &*records : nullptr))
            return *code;
    }
    // As the run asks: files first ("No files added."), then the folder. The
    // folder is tested when the first file comes; if it is missing or cannot
    // be written, nothing is touched and the remaining sources are passed over.
    bool any = false;
    bool folderMissing = false;
    auto firstSourceFindsFolder = [&] {
        if (!any && toFolder) {
            if (!paths::IsFolder(folder)) {
                // The window's text, and which folder it means.
                printMessage(std::u16string(run::kFolderMissing) + u" (" + folder + u")");
                folderMissing = true;
            } else if (auto why = unwritableFolder(options.outputDir)) {
                printMessage(*why);
                folderMissing = true;
            }
        }
        any = true;
        return !folderMissing;
    };
    Terminal terminal(!options.quiet && !options.dryRun && dashes == 0 &&
                      Terminal::canShowProgress());
    FileLedger fileLedger(terminal, options.verbose, records ? &*records : nullptr);
    // Sub-folders the walk passes over for the length of their path: each is
    // told, or only their number with -q.
    Listing listing;
    std::int64_t passedOver = 0;
    listing.passedOver = [&](const std::u16string& skipped) {
        ++passedOver;
        if (!options.quiet)
            terminal.printLine("marrowvale-cli: " + escapeForTerminal(engine::toNative(skipped)) +
                               ": folder passed over: its path has 260 characters or more");
    };
    auto tellPassedOver = [&] {
        if (passedOver > 0 && options.quiet)
            terminal.printLine("marrowvale-cli: " + std::to_string(passedOver) +
                               (passedOver == 1 ? " folder" : " folders") +
                               " passed over: paths of 260 characters or more");
    };
    // A signal puts the report in place with every record that is complete.
    std::optional<LeaveAction> reportOnSignal;
    if (records) {
        reportOnSignal.emplace([&] {
            fileLedger.recordWhatIsComplete();
            records->close();
        });
    }
    try {
        // Beside FILE, which stays as it is until the report is complete.
        if (records) records->open();
    } catch (const std::runtime_error& e) {
        printMessage(e.what());
        return kExitRunFailed;
    }
    auto finish = [&](int code) -> int {
        if (records && code == kExitUsage) records->abandon();  // nothing is touched
        if (records && !records->close()) {
            printMessage("cannot write the report " + options.reportPath + ": " +
                         std::strerror(errno));
            return kExitRunFailed;
        }
        return code;
    };
    // More than one core given: a large source reads its next blocks on a
    // thread of its own while its chunks are converted.
    engine::setReadAhead(options.jobs > 1);
    if (dashes > 0) return finish(convertStream(options.jobs, terminal, fileLedger));
    if (options.dryRun) {
        int code = dryRun(options, names, shard, toFolder, folder, fileLedger,
                          firstSourceFindsFolder, listing, claims, spool);
        tellPassedOver();
        if (folderMissing) code = kExitUsage;
        return finish(code == kExitOk && passedOver > 0 ? kExitReported : code);
    }

    engine::SyncLedger ledger;

    std::optional<ParallelDispatcher> parallel;
    if (options.jobs > 1) parallel.emplace(options.jobs, fileLedger);
    LedgerDispatcher dispatcher(fileLedger, parallel ? &*parallel : nullptr, options.update);
    bool usageError = false;
    bool folderGone = false;  // missing only after results were written
    std::int64_t taken = 0;
    std::vector<std::u16string> batch, batchFolders;
    // Rows of the batch whose result a later source replaces, and lines told
    // with rows that replace earlier results.
    std::vector<std::int64_t> batchReplaced;
    std::vector<std::pair<std::int64_t, std::string>> batchNotes;
    std::u16string lastMade;
    auto runBatch = [&] {
        const bool first = taken <= static_cast<std::int64_t>(kBatch);
        // One file gets every worker for its chunks; several share them by file.
        const unsigned chunkWorkers = batch.size() == 1 ? options.jobs : 1;
        // The next sources are asked of the disk while the first are converted.
        std::optional<engine::SourcePrefetch> prefetch;
        if (options.jobs > 1 && batch.size() > 1) {
            std::vector<std::string> nativePaths;
            nativePaths.reserve(batch.size());
            for (const auto& path : batch) nativePaths.push_back(engine::toNative(path));
            prefetch.emplace(std::move(nativePaths));
        }
        CliHost host(std::move(batch), toFolder, folder, terminal, std::move(batchFolders));
        batch.clear();
        batchFolders.clear();
        fileLedger.startRun(host.rows());
        for (auto row : batchReplaced) fileLedger.replacedLater(row);
        for (auto& [row, line] : batchNotes) fileLedger.addNote(row, std::move(line));
        batchReplaced.clear();
        batchNotes.clear();
        run::ConversionRun conversion(host, fileLedger.immediate(), &dispatcher, &ledger);
        conversion.setChunkWorkers(chunkWorkers);
        conversion.PushButton7_Click();
        fileLedger.endRun();
        for (const auto& message : host.messages()) {
            if (message == run::kNoFilesAdded) usageError = true;
            // A folder that vanished after earlier runs wrote their results
            // is a failure of this run, not a usage error: work was done.
            if (message == run::kFolderMissing) (first ? usageError : folderGone) = true;
        }
    };
    report::SilentReport unheard;  // the run reports a result path that cannot be worked out
    bool listOk = listSources(
        options, names, shard, fileLedger.immediate(), listing, spool, [&](const Source& source) {
            if (!firstSourceFindsFolder() || folderGone) return;
            fileLedger.listed();
            batch.push_back(source.path);
            const auto row = static_cast<std::int64_t>(batch.size());
            const auto result = resultOf(options, folder, source, unheard);
            auto claim = claims.take(result, source.path);
            if (claim.replaced) batchReplaced.push_back(row);
            for (const auto& earlier : claim.replaces)
                batchNotes.emplace_back(
                    row, escapeForTerminal(replacedLine(earlier, result, source.path)));
            if (toFolder) {
                std::u16string into = resultFolder(folder, source);
                if (into != folder && into != lastMade) {
                    // A folder that cannot be made fails at the result's own
                    // step; a link on the way is entered only as the result
                    // would enter it.
                    std::vector<std::string> made;
                    report::failureOf([&] {
                        engine::makeFolders(options.outputDir, engine::toNative(source.subfolder),
                                            made);
                    });
                    ledger.noteMadeFolders(made);
                    lastMade = into;
                }
                batchFolders.push_back(std::move(into));
            }
            if (++taken % kBatch == 0) runBatch();
        });
    fileLedger.listComplete();
    // The last files; with none at all, the run says "No files added." (a
    // shard that holds none of a list's files has simply nothing to do).
    if (!folderMissing && !folderGone && (!batch.empty() || (listing.listed == 0 && listOk)))
        runBatch();
    // A folder that vanished during the last run of files failed only its
    // files there; it is the run's failure all the same.
    if (toFolder && any && !usageError && !folderMissing && !folderGone &&
        !paths::IsFolder(folder)) {
        printMessage(std::u16string(run::kFolderMissing) + u" (" + folder + u")");
        folderGone = true;
    }
    // Every result written is on stable storage before the command returns.
    report::StepRunner step(fileLedger.immediate(), report::locations::kPushButton7Click);
    const bool synced = step(188, [&] { ledger.syncAll(); });
    // A result that may not be on disk is no converted result.
    for (const auto& lost : ledger.takeLost()) {
        fileLedger.notOnDisk(engine::fromNative(lost.source), engine::fromNative(lost.result),
                             lost.failure.what());
    }
    terminal.clearProgress();
    if (usageError || folderMissing) return finish(kExitUsage);
    tellPassedOver();
    std::string summary = fileLedger.summary();
    if (!summary.empty()) terminal.printLine("marrowvale-cli: " + summary);
    if (terminal.showsProgress()) terminal.printLine("Done.");
    // The run could not be completed: a retry may mend what the data cannot.
    if (!listOk || folderGone || !synced) return finish(kExitRunFailed);
    bool failed = fileLedger.anyReport() || !summary.empty() || passedOver > 0;
    return finish(failed ? kExitReported : kExitOk);
}

}  // namespace

int runMain(int argc, char** argv) {
    CLI::App app{"Marrowvale: converts XML files into JSON text files.", "marrowvale-cli"};
    // The second line names the vector variant the scans run on, for bug reports.
    const std::string version = std::string("marrowvale-cli ") + MV_VERSION + "\nvector scans: " +
                                std::string(engine::cpu::nameOf(engine::cpu::activeIsa()));
    app.set_version_flag("--version", version);
    app.require_subcommand(0, 1);
    // Unknown options and arguments too many are told in our words below.
    app.allow_extras();
    const std::string exitStatus =
        "Exit status: 0 every file converted without a report; 1 a source had a report (its "
        "record says which); 2 usage error, nothing touched; 3 the run could not be completed "
        "(the report, standard output, a list or the final sync failed, or the output folder "
        "vanished), which a retry may mend; 128+N ended by signal N.\n";
    app.footer(exitStatus);
    // A single-value option given twice takes the last value, as GNU tools do.
    auto once = [](CLI::Option* option) {
        return option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    };

    ConvertOptions options;
    auto* convertCmd = app.add_subcommand("convert", "Convert XML files into .json files");
    convertCmd->allow_extras();
    convertCmd->footer(exitStatus);
    convertCmd->set_version_flag("--version", version);
    once(convertCmd->add_option("-o,--output-dir", options.outputDir,
                                "Write every result into DIR; a FOLDER's tree is mirrored there"))
        ->option_text("DIR")
        ->each([&](const std::string&) { options.toFolder = true; });
    convertCmd->add_flag(
        "--parents", options.parents,
        "With -o, each result goes to DIR/ + its source's path as listed, without a "
        "leading / or ./ (a .. is refused)");
    convertCmd
        ->add_flag("--beside", options.beside, "Write each result beside its source (the default)")
        ->option_text(" ");
    once(convertCmd->add_option("-j,--jobs", options.jobsText,
                                "Files converted at once, or chunks of a single file, from 1 to " +
                                    std::to_string(kMaxJobs) +
                                    " (default: the CPUs this process may use, here " +
                                    std::to_string(options.jobs) + ")"))
        ->option_text("N");
    convertCmd->add_flag("-q,--quiet", options.quiet, "No progress, only failures");
    convertCmd->add_flag("-v,--verbose", options.verbose,
                         "Print every report line of a file, not only its first");
    convertCmd->add_flag("--dry-run", options.dryRun,
                         "Print each source and its result path; write nothing");
    convertCmd->add_flag("--all-files", options.allFiles,
                         "Take every file of a folder except .json files, not only *.xml");
    convertCmd->add_flag("-u,--update", options.update,
                         "Convert only sources whose result is missing or older than the source; "
                         "the others are told as unchanged");
    once(convertCmd->add_option("--files-from", options.filesFrom,
                                "Also convert the files and folders named in LIST, one per line "
                                "(- reads standard input)"))
        ->option_text("LIST");
    convertCmd->add_flag("-0,--null", options.nul,
                         "Names in LIST end with NUL, not a line end; --dry-run prints "
                         "NUL-separated names too");
    once(convertCmd->add_option("--report", options.reportPath,
                                "Write one JSON line per source to FILE (- is standard output)"))
        ->option_text("FILE");
    once(convertCmd->add_option("--shard", options.shard,
                                "Convert only the sources that fall into shard K of N (by a hash "
                                "of the name as listed)"))
        ->option_text("K/N");
    convertCmd
        ->add_option("FILE|FOLDER", options.files,
                     "XML files and folders, converted in the order given; a folder gives its "
                     "*.xml files and those of its sub-folders, level by level; - alone reads "
                     "standard input and writes the result to standard output")
        ->option_text(" ");

    std::string scriptFile;
    auto* scriptCmd =
        app.add_subcommand("script", "Run a script written as JSON; print its output");
    scriptCmd->allow_extras();
    scriptCmd->set_version_flag("--version", version);
    auto* scriptArg =
        scriptCmd
            ->add_option("FILE", scriptFile, "The script, read as UTF-8; - reads standard input")
            ->option_text(" ");
    scriptCmd->footer(
        "Exit status: 0 the script ran, 1 it could not be read, was not accepted or failed, "
        "2 usage error.\n");

    // The error may quote an argument, which may be a hostile file name.
    auto usageError = [](const std::string& text) {
        printMessage(text);
        std::fputs("Run with --help for more information.\n", stderr);
        return kExitUsage;
    };
    // A variant forced for a bug report must be the one that runs.
    if (std::string isa = engine::cpu::requestError(); !isa.empty()) return usageError(isa);
    // A first word that is no option names a command.
    if (argc > 1 && argv[1][0] != '-' && std::string_view(argv[1]) != "convert" &&
        std::string_view(argv[1]) != "script") {
        printMessage("unknown command '" + std::string(argv[1]) +
                     "' (commands: convert, script; --help shows them)");
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        return usageError(usageMessage(e, scriptCmd->parsed()    ? *scriptCmd
                                          : convertCmd->parsed() ? *convertCmd
                                                                 : app));
    }
    if (auto extra = unexpectedArgument(app)) return usageError(*extra);
    if (scriptCmd->parsed()) {
        if (scriptArg->count() == 0)
            return usageError("script needs a FILE (- reads standard input)");
        return runScript(scriptFile);
    }
    if (!convertCmd->parsed()) {
        return usageError("a command is needed (commands: convert, script)");
    }
    if (options.toFolder && options.beside) {
        return usageError("--output-dir and --beside cannot go together");
    }
    if (options.parents && !options.toFolder) {
        return usageError("--parents needs --output-dir");
    }
    if (options.quiet && options.verbose) {
        return usageError("--quiet and --verbose cannot go together");
    }
    if (!options.jobsText.empty()) {
        auto jobs = parseJobs(options.jobsText);
        if (!jobs) {
            return usageError("--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ": " +
                              options.jobsText);
        }
        options.jobs = *jobs;
    }
    return convert(options);
}

}  // namespace mv::cli
