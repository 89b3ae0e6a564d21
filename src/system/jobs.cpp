#include "system/jobs.hpp"

#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace {

// The processors of this process's affinity mask; 1 when it cannot be read.
int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

}  // namespace

int WantedJobs() {
  int jobs = 0;
  if (const char* value = std::getenv("ZULJOBS"); value && *value) {
    char* end = nullptr;
    long asked = std::strtol(value, &end, 10);
    if (*end == '\0' && asked >= 1) jobs = static_cast<int>(std::min<long>(asked, kMostJobs));
  }
  if (jobs == 0) jobs = UsableProcessors();
  return std::min(jobs, kMostJobs);
}
