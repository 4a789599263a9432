// Converts several files at once while keeping the files on disk identical to
// a one-after-the-other run: a task waits for every earlier task that reads or
// writes one of its paths (the same result path, or a result that is another
// task's source). The workers and the chunk helpers of the files in hand draw
// from one budget of cores, so a large file's chunks take every core that
// the other files leave idle.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cli/file_ledger.h"
#include "cli/folder_listings.h"
#include "cli/sources.h"
#include "run/chunk_pipeline.h"
#include "run/conversion_run.h"

namespace mv::cli {

// A path's keys: hashes of what names a file, so that two tasks using one
// file share a key. Two tasks whose keys meet only by chance are converted
// in list order without need; none that use one file are missed.
using PathKey = std::uint64_t;

// The identity of each folder named in one run (device and inode after
// following links), so that two spellings of a folder meet.
class FolderKeys {
public:
    // False when the folder is not there.
    bool keyOf(std::string_view folder, PathKey& key);
    void clear() {
        m_keys.clear();
        m_last.clear();
    }

private:
    static constexpr std::size_t kMostFolders = 4096;
    std::unordered_map<std::string, PathKey> m_keys;
    std::string m_last;  // the folder asked for last, and its key: a list's files share few
    PathKey m_lastKey = 0;
};

// Each path key and the last task that used it. The keys are hashes
// already, so they index an open table directly: a run's thousands of keys
// cost no allocation each, and a look seldom goes past one cache line.
class LastUsers {
public:
    explicit LastUsers(std::size_t expected);
    // The task that used `key` last, or 0 for none; from now on `task` is.
    std::int64_t exchange(PathKey key, std::int64_t task);
    void clear();

private:
    struct Slot {
        PathKey key = 0;
        std::int64_t task = 0;  // tasks count from 1: 0 is a free slot
    };
    void grow();

    const std::size_t m_firstSize;  // room for the keys expected, made at the first key
    std::vector<Slot> m_slots;      // a power of two of them, or none yet
    std::size_t m_used = 0;
};

class ParallelDispatcher : public run::Dispatcher {
public:
    ParallelDispatcher(unsigned jobs, FileLedger& reports);
    ~ParallelDispatcher() override;

    void submit(run::FileTask task, const Work& work) override;
    void finish() override;
    report::ErrorReport& reportFor(std::int64_t index) override;
    // The rows of the next run, in order.
    void knowRows(std::vector<KnownRow> rows) { m_known = std::move(rows); }
    // The cores the files' chunk helpers share with the workers.
    run::CoreBudget& cores() { return m_cores; }

private:
    struct Pending {
        run::FileTask task;
        Work work;
        std::vector<std::int64_t> after;  // tasks that must be done first
    };
    void workerLoop();
    bool readyLocked(const Pending& pending) const;
    std::size_t queuedLocked() const { return m_ready.size() + m_blocked.size(); }
    // Moves the blocked tasks that may start now to the ready ones.
    void unblockLocked();
    // Wakes the idle workers if a task is ready.
    void wakeWorkersLocked();
    // Wakes the submitter if what it waits for has come.
    void tellSubmitterLocked();

    FileLedger& m_reports;
    const unsigned m_jobs;
    run::CoreBudget m_cores;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_work;  // workers: a task is ready
    std::condition_variable m_room;  // submitter: room in the queue, or all done
    std::deque<Pending> m_ready;     // may start now, in list order
    std::deque<Pending> m_blocked;   // wait for earlier tasks, in list order
    std::vector<char> m_open;        // by task: submitted, not done
    std::size_t m_openCount = 0;
    LastUsers m_lastUser;
    FolderKeys m_folders;           // of the submitter
    FolderListings m_listings;      // of the submitter, for the command
    std::vector<KnownRow> m_known;  // of the run, by row
    std::size_t m_limit;
    unsigned m_idleWorkers = 0;
    bool m_submitterWaits = false;
    bool m_stopping = false;
};

}  // namespace mv::cli
