#include "loading/loadruns.hpp"

#include <unordered_map>

namespace {

// How far back a batch looks for the run of its archive: the batches
// between are compared with it one by one.
constexpr size_t kFarthest = 4096;

// Whether batch `k` may join the run `run` (of its archive, begun at its
// first batch), whose batches are marked in `run_of`.
bool MayJoin(const std::vector<JudgedBatch>& batches, const std::vector<size_t>& run_of,
             const std::vector<std::vector<size_t>>& runs, size_t run, size_t k) {
  size_t first = runs[run].front();
  if (batches[k].fails || batches[first].fails || k - first > kFarthest) return false;
  for (size_t m = first + 1; m < k; ++m) {
    if (run_of[m] == run) continue;
    if (batches[m].fails) return false;
    // A batch whose run begins before this one's is extracted before it,
    // as before; one whose run begins after it now comes after batch k.
    if (runs[run_of[m]].front() > first && batches[k].footprint.Meets(batches[m].footprint)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<std::vector<size_t>> GatherRuns(const std::vector<JudgedBatch>& batches) {
  std::vector<std::vector<size_t>> runs;
  std::vector<size_t> run_of(batches.size());
  std::unordered_map<std::string, size_t> last_run;  // of each archive code
  for (size_t k = 0; k < batches.size(); ++k) {
    auto found = last_run.find(batches[k].code);
    if (found != last_run.end() && MayJoin(batches, run_of, runs, found->second, k)) {
      runs[found->second].push_back(k);
      run_of[k] = found->second;
      continue;
    }
    run_of[k] = runs.size();
    last_run[batches[k].code] = runs.size();
    runs.push_back({k});
  }
  return runs;
}
