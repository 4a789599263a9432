// Results on stable storage: the file systems that received results during
// a run, each synced once when the run ends instead of once per file.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace mv::engine {

class SyncLedger {
public:
    SyncLedger();  // a ledger begins a run: folders are looked at afresh
    SyncLedger(const SyncLedger&) = delete;
    SyncLedger& operator=(const SyncLedger&) = delete;
    ~SyncLedger();

    // A result was published in `folder`, which lies on `device`. The first
    // folder of each file system is held open, so that a folder removed
    // before the end does not keep its file system from being synced.
    void note(dev_t device, const std::string& folder);
    // Syncs each file system noted since the last call, once; throws the
    // failure of the first that could not be synced, after trying them all.
    void syncAll();

private:
    struct Handle {
        int fd = -1;
        int openError = 0;
        std::string folder;
    };
    void writeBackLoop();
    void stopWriteBack();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<dev_t, Handle> m_handles;
    std::thread m_writeBack;
    bool m_stopping = false;
};

}  // namespace mv::engine
