// SIGINT, SIGTERM and SIGHUP end the window as they end marrowvale-cli: the
// temporary files of results in flight are removed, and the process leaves
// with 128 + the signal's number. A result half written is thus never left
// behind, and an older result stays as it was.
#pragma once

namespace mv::app {

// Installs the handlers; call once, early in main. The handler only passes
// the signal's number through a pipe to a thread of its own, which removes
// the files under the lock that making and renaming them holds. Unlike a
// blocked signal mask, handlers are not inherited by the programs the window
// starts (a file manager).
void endOnSignals();

}  // namespace mv::app
