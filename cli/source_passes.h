/* The sources of a convert command and the passes over them: every source of
   the command line and of the --files-from list, in order, kept to the shard.
   The first pass only notes each result path and looks for usage errors; the
   dry run and the conversion pass over the sources once more. */
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cli/convert_options.h"
#include "cli/file_list_reader.h"
#include "cli/report_writer.h"
#include "cli/result_claims.h"
#include "cli/shard.h"
#include "cli/sources.h"
#include "cli/terminal.h"
#include "report/error_report.h"

namespace mv::cli {

// What the sources are read from and checked against besides the options.
struct SourceInputs {
    std::optional<Shard> shard;
    std::optional<NameList> list;         // --files-from
    std::optional<ReportWriter> records;  // --report
    SourceSpool spool;                    // the second pass goes over what the first one listed

    NameList* names() { return list ? &*list : nullptr; }
    ReportWriter* report() { return records ? &*records : nullptr; }
};

// Reads the shard and opens the list and the report, touching nothing else.
// A usage error is said, and its exit status returned.
std::optional<int> openInputs(const ConvertOptions& options, SourceInputs& inputs);

// What a pass over the sources met besides the sources it took.
struct Listing {
    std::int64_t listed = 0;  // every source, shard or not
    std::string climbing;     // the first name --parents cannot place below DIR
    std::function<void(const std::u16string& folder)> passedOver;
};

// Sub-folders the walk passes over for the length of their path: each is
// told as it is met, or only their number at the end with -q.
class PassedOver {
public:
    PassedOver(Terminal& terminal, bool quiet) : m_terminal(terminal), m_quiet(quiet) {}
    void note(const std::u16string& folder);
    // A listing that tells this object of every folder it passes over.
    Listing listing() {
        Listing fresh;
        fresh.passedOver = [this](const std::u16string& folder) { note(folder); };
        return fresh;
    }
    void tellCount() const;
    std::int64_t count() const { return m_count; }

private:
    Terminal& m_terminal;
    bool m_quiet;
    std::int64_t m_count = 0;
};

// Every source that falls into the shard, handed to `take`. False, said, when
// the list could not be read to its end.
bool listSources(const ConvertOptions& options, SourceInputs& inputs, report::ErrorReport& report,
                 Listing& listing, const std::function<void(const Source&)>& take);

// The output folder of a source: DIR, or the source's place in DIR when the
// tree of a folder argument is mirrored there.
std::u16string resultFolder(const std::u16string& folder, const Source& source);
// The result path of a source, as the run will work it out.
std::u16string resultOf(const ConvertOptions& options, const std::u16string& folder,
                        const Source& source, report::ErrorReport& report);
// The text that names a source whose result a later source replaces, and
// both; told with the later source.
std::string replacedLine(const std::u16string& earlier, const std::u16string& result,
                         const std::u16string& later);

// The first pass, before anything is touched: a name that --parents cannot
// place, or a report that would replace a source or a result, is a usage
// error, and every result path is noted in `claims`, so that the second pass
// knows which results later sources replace. An exit status, or nothing to
// go on.
std::optional<int> firstPass(const ConvertOptions& options, SourceInputs& inputs,
                             const std::u16string& folder, ResultClaims& claims);

}  // namespace mv::cli
