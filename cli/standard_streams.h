// `convert -`: the source comes from standard input and its result goes to
// standard output. The run reads a source more than once and writes a result
// into a folder, so the input is spooled into an unnamed temporary file (a
// named one where unnamed files cannot be had) and the result is written
// into a private temporary folder, then copied out; both go when it ends,
// and on a signal too.
#pragma once

#include <optional>
#include <string>

#include "cli/signals.h"

namespace mv::cli {

class StreamedSource {
public:
    // Throws std::runtime_error when standard input cannot be spooled.
    StreamedSource();
    ~StreamedSource();
    StreamedSource(const StreamedSource&) = delete;
    StreamedSource& operator=(const StreamedSource&) = delete;

    // The spooled input, as a path the run can open.
    const std::string& source() const { return m_source; }
    // The folder the result is written into.
    const std::string& resultFolder() const { return m_folder; }
    // Copies the result at `path`, when there is one, to standard output.
    // Throws std::runtime_error when standard output cannot take it; leaves
    // as on SIGPIPE when it has no reader.
    void copyOut(const std::string& path) const;

private:
    void spool(const std::string& tmp);
    void removeFolder() const noexcept;

    int m_fd = -1;
    std::string m_source;
    std::string m_folder;
    std::optional<LeaveAction> m_removeOnSignal;
};

}  // namespace mv::cli
