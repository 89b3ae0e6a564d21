#include "system/jobs.hpp"

#include <sched.h>

#include <algorithm>

namespace {

// The processors of this process's affinity mask; 1 when it cannot be read.
int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

}  // namespace

int WantedJobs(int asked) { return std::min(asked >= 1 ? asked : UsableProcessors(), kMostJobs); }
