#include "engine/fresh_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace mv::engine {

namespace {
// Below this a buffer's few faults cost less than the call, and a small
// file's buffers, mostly memory the last file freed, stay below it.
constexpr std::size_t kFaultInFrom = std::size_t{64} << 10;
}  // namespace

void faultIn(void* data, std::size_t bytes) {
    if (bytes < kFaultInFrom) return;
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t end = (start + bytes) & ~(page - 1);
    if (end <= first) return;
    // A failure leaves the pages to fault in one by one, as without the call.
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

}  // namespace mv::engine
