#include "cli/cpu_count.h"

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace mv::cli {

namespace {

// CPUs granted by a cgroup v2 "cpu.max" ("max 100000" or "200000 100000")
// along the process's cgroup path up to the root; 0 when nothing limits it.
unsigned cgroupQuota() {
    std::ifstream self("/proc/self/cgroup");
    std::string line, path;
    while (std::getline(self, line)) {
        if (line.rfind("0::", 0) == 0) path = line.substr(3);
    }
    if (path.empty()) return 0;
    unsigned best = 0;
    while (true) {
        std::ifstream max("/sys/fs/cgroup" + path + "/cpu.max");
        std::string quota;
        double period = 0;
        if (max >> quota >> period && quota != "max" && period > 0) {
            auto cpus = static_cast<unsigned>(std::max(1.0, std::ceil(std::stod(quota) / period)));
            best = best == 0 ? cpus : std::min(best, cpus);
        }
        if (path.empty() || path == "/") break;
        path = path.substr(0, path.find_last_of('/'));
    }
    return best;
}

}  // namespace

unsigned usableCpus() {
    unsigned cpus = std::max(1u, std::thread::hardware_concurrency());
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) cpus = std::max(1, CPU_COUNT(&set));
    try {
        if (unsigned quota = cgroupQuota(); quota != 0) cpus = std::min(cpus, quota);
    } catch (const std::exception&) {
        // An unreadable quota limits nothing.
    }
    return cpus;
}

}  // namespace mv::cli
