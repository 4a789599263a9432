#include "engine/durability.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "report/failure.h"

namespace mv::engine {

SyncLedger::~SyncLedger() {
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
}

void SyncLedger::syncAll() {
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
