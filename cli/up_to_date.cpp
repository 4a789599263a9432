#include "cli/up_to_date.h"

#include <sys/stat.h>

#include "engine/native_text.h"

namespace mv::cli {

bool resultIsCurrent(const std::u16string& source, const std::u16string& result) {
    if (source.empty() || result.empty()) return false;
    struct stat from {};
    struct stat to {};
    if (stat(engine::toNative(source).c_str(), &from) != 0 ||
        stat(engine::toNative(result).c_str(), &to) != 0 || !S_ISREG(to.st_mode)) {
        return false;
    }
    // Equal times count as current, as cp -u has it: file times are taken
    // from a coarse clock, so a result written just after its source often
    // carries the very same time.
    if (to.st_mtim.tv_sec != from.st_mtim.tv_sec) return to.st_mtim.tv_sec > from.st_mtim.tv_sec;
    return to.st_mtim.tv_nsec >= from.st_mtim.tv_nsec;
}

}  // namespace mv::cli
