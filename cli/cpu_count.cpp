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

// The CPUs that a quota of `quota` microseconds per `period` grants; 0 for none.
unsigned cpusOf(double quota, double period) {
    if (quota <= 0 || period <= 0) return 0;
    return static_cast<unsigned>(std::max(1.0, std::ceil(quota / period)));
}

// The smallest CPU quota on the process's cgroup path, from the cgroup's own
// folder up to the root: "cpu.max" ("max 100000" or "200000 100000") in
// cgroup v2, cpu.cfs_quota_us and cpu.cfs_period_us in v1. 0 when nothing
// limits the process.
unsigned cgroupQuota() {
    std::ifstream self("/proc/self/cgroup");
    std::string line;
    unsigned best = 0;
    auto take = [&](unsigned cpus) {
        if (cpus != 0) best = best == 0 ? cpus : std::min(best, cpus);
    };
    while (std::getline(self, line)) {
        auto first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        bool v2 = controllers.empty();
        bool v1 = (',' + controllers + ',').find(",cpu,") != std::string::npos;
        if (!v1 && !v2) continue;
        std::string root = v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/" + controllers;
        while (true) {
            std::string folder = root + (path == "/" ? "" : path);
            if (v2) {
                std::ifstream max(folder + "/cpu.max");
                std::string quota;
                double period = 0;
                if (max >> quota >> period && quota != "max")
                    take(cpusOf(std::stod(quota), period));
            } else {
                std::ifstream quota(folder + "/cpu.cfs_quota_us"),
                    period(folder + "/cpu.cfs_period_us");
                double q = 0, p = 0;
                if (quota >> q && period >> p) take(cpusOf(q, p));
            }
            if (path.empty() || path == "/") break;
            path = path.substr(0, path.find_last_of('/'));
        }
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
