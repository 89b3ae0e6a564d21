// The listings of a load's archives, made ahead of their batches in a thread
// of their own, so that tar's listing of the next archives costs the load
// nothing while tar extracts: at most a given number ahead of the batch
// that takes them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/exitrequest.hpp"
#include "loading/archivelisting.hpp"

class ListingsAhead {
 public:
  // `archives`: the archive of every batch, in order. Listings made ahead
  // run at `niceness` (above 0 when they would compete with the extraction
  // the load waits for). `digests`: see ListedArchive::List.
  ListingsAhead(std::vector<std::string> archives, bool compressed, const Sandbox& sandbox,
                const MediumSums& sums, bool digests, size_t ahead, int niceness);
  ~ListingsAhead();
  ListingsAhead(const ListingsAhead&) = delete;
  ListingsAhead& operator=(const ListingsAhead&) = delete;

  // The listing of batch `index` (taken in order, from 0) of `archive`:
  // the one made ahead, or one made now.
  ListedArchive Take(size_t index, const std::string& archive);

 private:
  void Work();

  std::vector<std::string> archives_;
  bool compressed_;
  const Sandbox& sandbox_;
  const MediumSums& sums_;
  bool digests_;
  size_t ahead_;
  int niceness_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::optional<ListedArchive>> listed_;
  // How the run ended while a listing was made: ended there.
  std::vector<std::optional<ExitRequest>> ended_;
  std::vector<bool> by_thread_;  // the listings the thread makes
  size_t next_ = 1;              // the next the thread lists; the first is listed when taken
  size_t taken_ = 0;             // the batches before this have taken theirs
  bool stopping_ = false;
  std::thread thread_;
};
