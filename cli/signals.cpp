#include "cli/signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "engine/in_flight.h"

namespace mv::cli {

void removeTemporaryFilesOnSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A thread that waits, instead of a handler: the clean-up may then take
    // the lock that every making and renaming of a temporary file holds.
    std::thread([set] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        engine::inflight::removeAllAndHold();
        _exit(128 + signal);
    }).detach();
}

}  // namespace mv::cli
