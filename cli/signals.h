// SIGINT, SIGTERM, SIGHUP and SIGPIPE during a convert command: the temporary
// files in flight are removed, the leave actions run (the report takes every
// record that is complete and goes in place, the standard-input spool goes),
// and the process leaves with 128 + the signal's number. Unnamed temporary
// files go with the process by themselves; named ones (on file systems
// without unnamed files, and while a result replaces an older one) would
// otherwise stay behind.
#pragma once

#include <cstdint>
#include <functional>

namespace mv::cli {

// Blocks the four signals in the calling thread, and so in every thread it
// starts afterwards, and hands them to a thread of their own. Call once,
// before any other thread starts; lasts until the process ends. A write to
// a pipe without a reader then fails with EPIPE instead of killing the
// process, and the writer calls brokenPipe.
void removeTemporaryFilesOnSignals();

// The reader of standard output or the report has gone: the process leaves
// as on SIGPIPE. Returns at once, so that a caller holding a lock can let it go.
void brokenPipe();
// The same for a caller that holds no lock: does not return.
[[noreturn]] void leaveOnBrokenPipe();

// Work that a signal's clean-up does after the temporary files are gone, for
// as long as the object lives. It runs on the signal's thread while other
// threads may still be working; a destructor that meets it running waits
// until the process has left.
class LeaveAction {
public:
    // `prepare` runs first, under the lock that the clean-up takes, so that a
    // signal never finds what it sets up half made.
    explicit LeaveAction(std::function<void()> action, const std::function<void()>& prepare = {});
    ~LeaveAction();
    LeaveAction(const LeaveAction&) = delete;
    LeaveAction& operator=(const LeaveAction&) = delete;

private:
    std::uint64_t m_id;
};

}  // namespace mv::cli
