#include "engine/in_flight.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace mv::engine::inflight {

namespace {

std::mutex& lock() {
    static std::mutex mutex;
    return mutex;
}

std::unordered_set<std::string>& paths() {
    static std::unordered_set<std::string> recorded;
    return recorded;
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
    std::lock_guard guard(lock());
    if (!createFile()) return false;
    paths().insert(path);
    return true;
}

int renameOver(int folderFd, const std::string& path, const std::string& target) {
    auto nameOf = [](const std::string& p) { return p.substr(p.find_last_of('/') + 1); };
    std::lock_guard guard(lock());
    int error = ::renameat(folderFd, nameOf(path).c_str(), folderFd, nameOf(target).c_str()) == 0
                    ? 0
                    : errno;
    if (error == 0) {
        paths().erase(path);
        published();
    }
    return error;
}

bool publish(const std::function<bool()>& publishFile) {
    std::lock_guard guard(lock());
    if (!publishFile()) return false;
    published();
    return true;
}

void setPublishObserver(void (*observer)()) {
    g_observer.store(observer, std::memory_order_release);
}

void remove(const std::string& path) noexcept {
    std::lock_guard guard(lock());
    ::unlink(path.c_str());
    paths().erase(path);
}

void removeAllAndHold() noexcept {
    lock().lock();
    for (const auto& path : paths()) ::unlink(path.c_str());
}

}  // namespace mv::engine::inflight
