// The number of CPUs this process may use: those of its affinity mask, fewer
// when its cgroup grants less CPU time (a container's CPU limit).
#pragma once

namespace mv::cli {

unsigned usableCpus();

}  // namespace mv::cli
