#include "app/signal_exit.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "engine/in_flight.h"

namespace mv::app {

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void passSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &number, 1);
    errno = saved;
}

}  // namespace

void endOnSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC) != 0) return;
    std::thread([] {
        unsigned char number = 0;
        ssize_t got = 0;
        do {
            got = ::read(g_signalPipe[0], &number, 1);
        } while (got < 0 && errno == EINTR);
        if (got != 1) return;
        engine::inflight::removeAllAndHold();
        ::_exit(128 + number);
    }).detach();
    struct sigaction action {};
    action.sa_handler = passSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace mv::app
