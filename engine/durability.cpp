#include "engine/durability.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <vector>

#include "engine/file_system.h"
#include "report/failure.h"

namespace mv::engine {

namespace {
// How often results written so far are pushed out while a run goes on.
constexpr auto kWriteBackPeriod = std::chrono::milliseconds(200);
// A run of small files is over before this: its files are many and
// tiny, and syncing them while the run still adds more only makes each new
// file wait on the journal. The sync at the end gets them all at once.
constexpr auto kWriteBackDelay = std::chrono::milliseconds(1000);
}  // namespace

SyncLedger::SyncLedger() {
    forgetFolderFacts();
}

SyncLedger::~SyncLedger() {
    stopWriteBack();
    for (auto& [device, handle] : m_handles) {
        if (handle.fd >= 0) ::close(handle.fd);
    }
}

void SyncLedger::note(dev_t device, const std::string& folder) {
    std::lock_guard guard(m_mutex);
    auto [it, fresh] = m_handles.try_emplace(device);
    if (!fresh) return;
    it->second.folder = folder;
    it->second.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (it->second.fd < 0) it->second.openError = errno;
    // Results go on being written out while the run converts, so that the
    // sync at the end has little left to wait for.
    if (!m_writeBack.joinable()) m_writeBack = std::thread([this] { writeBackLoop(); });
}

void SyncLedger::writeBackLoop() {
    std::unique_lock lock(m_mutex);
    if (m_wake.wait_for(lock, kWriteBackDelay, [&] { return m_stopping; })) return;
    while (!m_wake.wait_for(lock, kWriteBackPeriod, [&] { return m_stopping; })) {
        std::vector<int> fds;
        for (const auto& [device, handle] : m_handles) {
            if (handle.fd >= 0) fds.push_back(handle.fd);
        }
        lock.unlock();
        // Failures here are not reported: the sync at the end reports them.
        for (int fd : fds) ::syncfs(fd);
        lock.lock();
    }
}

void SyncLedger::stopWriteBack() {
    {
        std::lock_guard guard(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_writeBack.joinable()) m_writeBack.join();
    std::lock_guard guard(m_mutex);
    m_stopping = false;
}

void SyncLedger::syncAll() {
    stopWriteBack();
    std::map<dev_t, Handle> handles;
    {
        std::lock_guard guard(m_mutex);
        handles.swap(m_handles);
    }
    std::optional<report::Failure> first;
    for (auto& [device, handle] : handles) {
        int error = handle.openError;
        if (handle.fd >= 0) {
            if (::syncfs(handle.fd) != 0) error = errno;
            ::close(handle.fd);
        }
        if (error != 0 && !first) first = report::systemFailure(error, handle.folder);
    }
    if (first) throw *first;
}

}  // namespace mv::engine
