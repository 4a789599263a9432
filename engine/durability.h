// Results on stable storage. A run that publishes few results syncs each of
// them (fdatasync, through a descriptor kept from its writing) and the
// folders that received them or were made for them (fsync), and so never
// waits on other processes' data; a run of many results syncs each file
// system once instead (syncfs), which costs far less than a sync per file
// unless much of other processes' data waits to be written.
// While a run goes on, its file systems are written out in the background.
//
// No failure of a sync is lost: the kernel tells a write-back error once per
// open file description, so the first is kept, and every result that is not
// known to be on disk when the run ends is named with it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "report/failure.h"

namespace mv::engine {

// Gives the process's descriptor table room for the descriptors a run keeps
// for its sync at the end, once, while the process still has one thread:
// each time the table of a process with threads grows, the kernel waits for
// a grace period (milliseconds here) while every thread that opens a file
// waits with it. Called first thing by a front-end.
void reserveDescriptors();

class SyncLedger {
public:
    // A published result whose text may not be on disk.
    struct Lost {
        std::string result;
        std::string source;
        report::Failure failure;
    };

    SyncLedger();  // a ledger begins a run: folders are looked at afresh
    SyncLedger(const SyncLedger&) = delete;
    SyncLedger& operator=(const SyncLedger&) = delete;
    ~SyncLedger();

    // A result was begun in `folder`, which lies on `device`. The first
    // folder of each file system is held open, so that a folder removed
    // before the end does not keep its file system from being synced.
    // A large result (of `expectedBytes`) starts the background write-out at
    // once instead of with a result that comes a second after the run's
    // first (so do more results than may be synced alone), and until
    // largeEnded() the file systems are synced again as soon as the last
    // sync is done.
    // Returns whether the result counts as large.
    bool note(dev_t device, const std::string& folder, std::int64_t expectedBytes = 0);
    // A large result is written, published or abandoned.
    void largeEnded();
    // Whether the next published result should hand in a descriptor of its
    // text: true while the run has published few enough for a sync per file.
    bool wantsDescriptor() const;
    // A result was published; `fd` (owned by the ledger from now, or -1) is
    // a descriptor of its text, opened before it was written.
    void published(dev_t device, const std::string& folder, const std::string& result,
                   const std::string& source, int fd);
    // Folders the run made: each one's parent is synced at the end.
    void noteMadeFolders(const std::vector<std::string>& made);
    // Syncs what the run published since the last call. Throws the first
    // failure, after trying everything; takeLost() then names the results
    // that may not be on disk.
    void syncAll();
    std::vector<Lost> takeLost();

private:
    struct Handle {
        int fd = -1;
        int openError = 0;
        // A background sync of the file system failed. The kernel tells it
        // once, and the text that failed may belong to a result not
        // published yet, so the results published after it are judged by it.
        int backgroundError = 0;
        std::string folder;
    };
    struct Pending {
        std::uint64_t serial = 0;
        dev_t device = 0;
        std::string folder;
        std::string result;
        std::string source;
        int fd = -1;
        bool own = false;  // synced by its descriptor, not with its file system
        bool lost = false;
        int backgroundError = 0;  // a sync of its file system failed after it came
    };
    // Starts the write-out's thread once it is due.
    void writeBackWhenDueLocked();
    void writeBackLoop();
    void stopWriteBack();
    // Results on `device` published up to `serial` are on disk, or not.
    void settleLocked(dev_t device, std::uint64_t serial, int error);
    void loseLocked(Pending& pending, int error);
    // Keeps the first failure, which syncAll throws once it has tried everything.
    void failLocked(int error, const std::string& about);
    // A result's own failure: kept as above, and the result named as lost.
    void failResultLocked(Pending& pending, int error);
    // The steps of syncAll, in order, with the mutex held.
    // Too many results for a sync each: their file systems are synced instead.
    void leaveOwnSyncsLocked(std::vector<Pending>& pending);
    // Syncs the results that keep a descriptor; adds their folders.
    void syncOwnResultsLocked(std::vector<Pending>& pending, std::set<std::string>& folders);
    void syncFoldersLocked(const std::set<std::string>& folders, std::vector<Pending>& pending);
    // Syncs the file systems in `wholeSystems` and lets go of every held folder.
    void syncFileSystemsLocked(const std::set<dev_t>& wholeSystems, std::vector<Pending>& pending);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<dev_t, Handle> m_handles;
    std::vector<Pending> m_pending;
    std::set<std::string> m_madeParents;
    std::vector<Lost> m_lost;
    std::optional<report::Failure> m_firstFailure;
    std::uint64_t m_serial = 0;
    std::size_t m_descriptors = 0;
    std::thread m_writeBack;
    bool m_stopping = false;
    bool m_writeBackNow = false;  // the write-out need not wait for its delay
    std::size_t m_publishedInRun = 0;
    std::optional<std::chrono::steady_clock::time_point> m_runBegan;  // its first result
    unsigned m_largeWriting = 0;
};

}  // namespace mv::engine
