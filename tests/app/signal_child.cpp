// For signal_test: the window with a result in flight, as in the middle of a
// run. Prints "ready" once the temporary file stands in FOLDER, then waits
// in the event loop for a signal.
// Usage: signal_child FOLDER

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QStandardPaths>
#include <cstdio>

#include "app/signal_exit.h"
#include "engine/in_flight.h"
#include "window_fixture.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    // The window's store goes in FOLDER, which the test removes: this
    // process leaves on the signal, before its own clean-up.
    setenv("TMPDIR", argv[1], 1);
    mv::app::endOnSignals();
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    mv::test::Window window;
    window.form().show();
    const std::string path = mv::engine::inflight::temporaryName(argv[1]);
    const bool made = mv::engine::inflight::create(path, [&] {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        return fd >= 0 && ::close(fd) == 0;
    });
    if (!made) return 3;
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}
