#include "cli/signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <thread>

#include "engine/in_flight.h"

namespace mv::cli {

namespace {

struct Actions {
    std::mutex mutex;
    std::uint64_t next = 0;
    std::map<std::uint64_t, std::function<void()>> byId;
};

Actions& actions() {
    static Actions registered;
    return registered;
}

}  // namespace

void removeTemporaryFilesOnSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // An inherited "ignore" would drop the SIGPIPE that brokenPipe sends.
    // The other three keep theirs: nohup's ignored SIGHUP stays ignored.
    ::signal(SIGPIPE, SIG_DFL);
    // A thread that waits, instead of a handler: the clean-up may then take
    // the lock that every making and publishing of a file holds, and after
    // it no other thread publishes anything.
    std::thread([set] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        engine::inflight::removeAllAndHold();
        auto& registered = actions();
        registered.mutex.lock();
        for (auto it = registered.byId.rbegin(); it != registered.byId.rend(); ++it) it->second();
        _exit(128 + signal);
    }).detach();
}

void brokenPipe() {
    // SIGPIPE that a failed write raises goes to the writing thread, where it
    // stays blocked; this one goes to the process and so to the signal thread.
    kill(getpid(), SIGPIPE);
}

void leaveOnBrokenPipe() {
    brokenPipe();
    while (true) pause();
}

LeaveAction::LeaveAction(std::function<void()> action, const std::function<void()>& prepare) {
    auto& registered = actions();
    std::lock_guard lock(registered.mutex);
    if (prepare) prepare();
    m_id = registered.next++;
    registered.byId.emplace(m_id, std::move(action));
}

LeaveAction::~LeaveAction() {
    auto& registered = actions();
    std::lock_guard lock(registered.mutex);
    registered.byId.erase(m_id);
}

}  // namespace mv::cli
