// SIGINT, SIGTERM and SIGHUP during a conversion: the temporary files in
// flight are removed and the process leaves with 128 + the signal's number.
// Unnamed temporary files go with the process by themselves; named ones (on
// file systems without unnamed files, and while a result replaces an older
// one) would otherwise stay behind.
#pragma once

namespace mv::cli {

// Blocks the three signals in the calling thread, and so in every thread it
// starts afterwards, and hands them to a thread of their own. Call once,
// before any worker starts; lasts until the process ends.
void removeTemporaryFilesOnSignals();

}  // namespace mv::cli
