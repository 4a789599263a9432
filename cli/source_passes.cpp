#include "cli/source_passes.h"

#include "cli/escape.h"
#include "cli/exit_status.h"
#include "cli/message.h"
#include "engine/native_text.h"
#include "paths/paths.h"
#include "report/step_runner.h"
#include "run/conversion_run.h"

namespace mv::cli {

namespace {

std::string shardText(const std::optional<Shard>& shard) {
    if (!shard) return {};
    return std::to_string(shard->index) + "/" + std::to_string(shard->count);
}

// The report may replace neither a source of the run nor a result: said,
// and true, for the first source that meets it.
bool clashesWithReport(const ReportWriter* records, const Source& source,
                       const std::u16string& result, const std::string& reportPath) {
    if (records == nullptr || !records->replacesFile()) return false;
    std::string clash = clashWithReport(*records, source.path, result);
    if (!clash.empty()) printMessage("--report " + reportPath + " is refused: " + clash);
    return !clash.empty();
}

}  // namespace

std::optional<int> openInputs(const ConvertOptions& options, SourceInputs& inputs) {
    if (!options.shard.empty()) {
        inputs.shard = Shard::parse(options.shard);
        if (!inputs.shard) {
            printMessage("--shard takes K/N, with 1 <= K <= N: " + options.shard);
            return kExitUsage;
        }
    }
    if (auto conflict = streamConflict(options)) {
        printMessage(*conflict);
        return kExitUsage;
    }
    auto failed = report::errorTextOf([&] {
        if (!options.filesFrom.empty()) inputs.list.emplace(options.filesFrom);
        if (!options.reportPath.empty()) {
            inputs.records.emplace(options.reportPath);
            inputs.records->setOrigin(hostName(), shardText(inputs.shard));
        }
    });
    if (failed) {
        printMessage(*failed);  // nothing is touched
        return kExitUsage;
    }
    return std::nullopt;
}

void PassedOver::note(const std::u16string& folder) {
    ++m_count;
    if (!m_quiet)
        m_terminal.printLine("marrowvale-cli: " + escapeForTerminal(engine::toNative(folder)) +
                             ": folder passed over: its path has 260 characters or more");
}

void PassedOver::tellCount() const {
    if (m_count > 0 && m_quiet)
        m_terminal.printLine("marrowvale-cli: " + std::to_string(m_count) +
                             (m_count == 1 ? " folder" : " folders") +
                             " passed over: paths of 260 characters or more");
}

bool listSources(const ConvertOptions& options, SourceInputs& inputs, report::ErrorReport& report,
                 Listing& listing, const std::function<void(const Source&)>& take) {
    inputs.spool.startPass();
    auto one = [&](const std::string& name) {
        inputs.spool.forEachSource(
            name, options.allFiles,
            [&](const Source& found) {
                ++listing.listed;
                if (inputs.shard && !inputs.shard->holds(found.name)) return;
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
    NameList* list = inputs.names();
    if (list == nullptr) return true;
    auto failed = report::errorTextOf([&] { list->forEach(options.nul ? '\0' : '\n', one); });
    if (failed) printMessage(*failed);
    return !failed;
}

std::u16string resultFolder(const std::u16string& folder, const Source& source) {
    if (source.subfolder.empty()) return folder;
    return paths::CollapseBackslashes(folder + paths::kNativeSeparator + source.subfolder);
}

std::u16string resultOf(const ConvertOptions& options, const std::u16string& folder,
                        const Source& source, report::ErrorReport& report) {
    return run::ConversionRun::outputPathFor(source.path, options.toFolder, !options.toFolder,
                                             resultFolder(folder, source), report);
}

std::string replacedLine(const std::u16string& earlier, const std::u16string& result,
                         const std::u16string& later) {
    return engine::toNative(earlier) + ": its result " + engine::toNative(result) +
           " is replaced by that of " + engine::toNative(later);
}

std::optional<int> firstPass(const ConvertOptions& options, SourceInputs& inputs,
                             const std::u16string& folder, ResultClaims& claims) {
    // It only looks: the second pass reports what it meets.
    report::SilentReport unheard;
    Listing listing;
    bool clash = false;
    const ReportWriter* records = inputs.report();
    if (options.jobs > 1) inputs.spool.lookAhead(options.files, options.jobs);
    bool read = listSources(options, inputs, unheard, listing, [&](const Source& source) {
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

}  // namespace mv::cli
