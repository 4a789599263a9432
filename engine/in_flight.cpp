#include "engine/in_flight.h"

#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <unordered_set>

namespace mv::engine::inflight {

namespace {

// Held shared by every thread that makes, renames, publishes or removes a
// file, so that results go in side by side; held alone by the clean-up of
// a process that leaves, which then sees no file half made or half moved.
// That clean-up does not wait behind a stream of publishing threads: once
// it asks, new holders wait.
class PublishLock {
public:
    PublishLock() {
        pthread_rwlockattr_t attributes;
        pthread_rwlockattr_init(&attributes);
        pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
        pthread_rwlock_init(&m_lock, &attributes);
        pthread_rwlockattr_destroy(&attributes);
    }
    PublishLock(const PublishLock&) = delete;
    PublishLock& operator=(const PublishLock&) = delete;

    void lock_shared() { pthread_rwlock_rdlock(&m_lock); }
    void unlock_shared() { pthread_rwlock_unlock(&m_lock); }
    void lock() { pthread_rwlock_wrlock(&m_lock); }

private:
    pthread_rwlock_t m_lock;
};

PublishLock& lock() {
    static PublishLock publishing;
    return publishing;
}

// The record of the temporary files, changed by one thread at a time.
std::mutex& recordLock() {
    static std::mutex mutex;
    return mutex;
}

std::unordered_set<std::string>& paths() {
    static std::unordered_set<std::string> recorded;
    return recorded;
}

void record(const std::string& path) {
    std::lock_guard guard(recordLock());
    paths().insert(path);
}

void forget(const std::string& path) {
    std::lock_guard guard(recordLock());
    paths().erase(path);
}

std::atomic<void (*)()> g_observer{nullptr};

void published() {
    if (auto observer = g_observer.load(std::memory_order_acquire)) observer();
}

}  // namespace

std::string temporaryName(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    char name[80];
    std::snprintf(name, sizeof name, "/.marrowvale-%d-%x-%llx.tmp", static_cast<int>(getpid()),
                  counter.fetch_add(1), static_cast<unsigned long long>(tick) & 0xFFFFFFULL);
    return folder + name;
}

bool create(const std::string& path, const std::function<bool()>& createFile) {
    std::shared_lock guard(lock());
    if (!createFile()) return false;
    record(path);
    return true;
}

int renameOver(int folderFd, const std::string& path, const std::string& target) {
    auto nameOf = [](const std::string& p) { return p.substr(p.find_last_of('/') + 1); };
    std::shared_lock guard(lock());
    int error = ::renameat(folderFd, nameOf(path).c_str(), folderFd, nameOf(target).c_str()) == 0
                    ? 0
                    : errno;
    if (error == 0) {
        forget(path);
        published();
    }
    return error;
}

bool publish(const std::function<bool()>& publishFile) {
    std::shared_lock guard(lock());
    if (!publishFile()) return false;
    published();
    return true;
}

void setPublishObserver(void (*observer)()) {
    g_observer.store(observer, std::memory_order_release);
}

void remove(const std::string& path) noexcept {
    std::shared_lock guard(lock());
    ::unlink(path.c_str());
    forget(path);
}

void removeAllAndHold() noexcept {
    lock().lock();
    for (const auto& path : paths()) ::unlink(path.c_str());
}

}  // namespace mv::engine::inflight
