#include "cli/convert_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/usage_errors.h"

namespace mv::cli {

bool ConvertOptions::streams() const {
    return std::find(files.begin(), files.end(), "-") != files.end();
}

CLI::App* addConvertCommand(CLI::App& app, ConvertOptions& options, const std::string& version,
                            const std::string& footer) {
    // A single-value option given twice takes the last value, as GNU tools do.
    auto once = [](CLI::Option* option) {
        return option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    };
    auto* command = app.add_subcommand("convert", "Convert XML files into .json files");
    command->allow_extras();
    command->footer(footer);
    command->set_version_flag("--version", version);
    once(command->add_option("-o,--output-dir", options.outputDir,
                             "Write every result into DIR; a FOLDER's tree is mirrored there"))
        ->option_text("DIR")
        ->each([&options](const std::string&) { options.toFolder = true; });
    command->add_flag("--parents", options.parents,
                      "With -o, each result goes to DIR/ + its source's path as listed, without a "
                      "leading / or ./ (a .. is refused)");
    command
        ->add_flag("--beside", options.beside, "Write each result beside its source (the default)")
        ->option_text(" ");
    once(command->add_option("-j,--jobs", options.jobsText,
                             "Files converted at once, or chunks of a single file, from 1 to " +
                                 std::to_string(kMaxJobs) +
                                 " (default: the CPUs this process may use, here " +
                                 std::to_string(options.jobs) + ")"))
        ->option_text("N");
    command->add_flag("-q,--quiet", options.quiet, "No progress, only failures");
    command->add_flag("-v,--verbose", options.verbose,
                      "Print every report line of a file, not only its first");
    command->add_flag("--dry-run", options.dryRun,
                      "Print each source and its result path; write nothing");
    command->add_flag("--all-files", options.allFiles,
                      "Take every file of a folder except .json files, not only *.xml");
    command->add_flag("-u,--update", options.update,
                      "Convert only sources whose result is missing or older than the source; "
                      "the others are told as unchanged");
    once(command->add_option("--files-from", options.filesFrom,
                             "Also convert the files and folders named in LIST, one per line "
                             "(- reads standard input)"))
        ->option_text("LIST");
    command->add_flag("-0,--null", options.nul,
                      "Names in LIST end with NUL, not a line end; --dry-run prints "
                      "NUL-separated names too");
    once(command->add_option("--report", options.reportPath,
                             "Write one JSON line per source to FILE (- is standard output)"))
        ->option_text("FILE");
    once(command->add_option("--shard", options.shard,
                             "Convert only the sources that fall into shard K of N (by a hash "
                             "of the name as listed)"))
        ->option_text("K/N");
    command
        ->add_option("FILE|FOLDER", options.files,
                     "XML files and folders, converted in the order given; a folder gives its "
                     "*.xml files and those of its sub-folders, level by level; - alone reads "
                     "standard input and writes the result to standard output")
        ->option_text(" ");
    return command;
}

std::optional<std::string> settleConvertOptions(ConvertOptions& options) {
    if (options.toFolder && options.beside) return "--output-dir and --beside cannot go together";
    if (options.parents && !options.toFolder) return "--parents needs --output-dir";
    if (options.quiet && options.verbose) return "--quiet and --verbose cannot go together";
    if (!options.jobsText.empty()) {
        auto jobs = parseJobs(options.jobsText);
        if (!jobs) {
            return "--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ": " +
                   options.jobsText;
        }
        options.jobs = *jobs;
    }
    return std::nullopt;
}

std::optional<std::string> streamConflict(const ConvertOptions& options) {
    if (!options.streams()) return std::nullopt;
    if (options.files.size() > 1 || !options.filesFrom.empty() || options.toFolder ||
        options.beside || options.reportPath == "-") {
        return "- (standard input to standard output) goes alone, without --files-from, -o, "
               "--beside or --report -";
    }
    return std::nullopt;
}

}  // namespace mv::cli
