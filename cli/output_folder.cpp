#include "cli/output_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "cli/message.h"
#include "engine/native_text.h"
#include "paths/paths.h"
#include "report/failure.h"
#include "run/conversion_run.h"

namespace mv::cli {

namespace {

// Why results cannot be written into the output folder, if they cannot; one
// look before the first file instead of a report for every file. The
// effective ids decide, as they will when the results are created.
std::optional<std::string> unwritableFolder(const std::string& folder) {
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return std::nullopt;
    return "cannot write into the output folder " + folder + ": " + report::systemErrorText(errno);
}

}  // namespace

OutputFolder::OutputFolder(bool toFolder, std::string outputDir)
    : m_toFolder(toFolder), m_outputDir(std::move(outputDir)) {}

bool OutputFolder::foundForSource() {
    if (!m_any && m_toFolder) {
        if (!paths::IsFolder(engine::fromNative(m_outputDir))) {
            tellMissing();
            m_missing = true;
        } else if (auto why = unwritableFolder(m_outputDir)) {
            printMessage(*why);
            m_missing = true;
        }
    }
    m_any = true;
    return !m_missing;
}

void OutputFolder::tellMissing() const {
    printMessage(std::u16string(run::kFolderMissing) + u" (" + engine::fromNative(m_outputDir) +
                 u")");
}

}  // namespace mv::cli
