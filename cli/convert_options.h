// The options of `convert` as the user gave them, how CLI11 reads them, and
// the checks between them that need no file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cpu_count.h"

namespace CLI {
class App;
}  // namespace CLI

namespace mv::cli {

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

    // `convert -`: standard input to standard output.
    bool streams() const;
};

// The `convert` command of `app`, filling `options` as it is parsed.
CLI::App* addConvertCommand(CLI::App& app, ConvertOptions& options, const std::string& version,
                            const std::string& footer);

// After parsing: options that cannot go together, and -j read into jobs. The
// usage error, or nothing when the options hold.
std::optional<std::string> settleConvertOptions(ConvertOptions& options);

// Options that cannot go with `convert -`; nothing when they do.
std::optional<std::string> streamConflict(const ConvertOptions& options);

}  // namespace mv::cli
