#include "loading/listingsahead.hpp"

#include <utility>

#include "common/exitrequest.hpp"
#include "system/interrupts.hpp"

ListingsAhead::ListingsAhead(std::vector<std::string> archives, bool compressed,
                             const Sandbox& sandbox, const MediumSums& sums, bool digests,
                             size_t ahead, int niceness)
    : archives_(std::move(archives)),
      compressed_(compressed),
      sandbox_(sandbox),
      sums_(sums),
      digests_(digests),
      ahead_(ahead),
      niceness_(niceness),
      listed_(archives_.size()),
      ended_(archives_.size()),
      by_thread_(archives_.size(), false) {
  if (archives_.size() < 2) return;
  // The thread never sees an interrupt; the handler stays the main
  // thread's, and it ends the listing's children with the rest.
  InterruptsHeld held;
  thread_ = std::thread([this] { Work(); });
}

ListingsAhead::~ListingsAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ListingsAhead::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return stopping_ || (next_ < archives_.size() && next_ < taken_ + ahead_);
    });
    if (stopping_) return;
    size_t index = next_++;
    by_thread_[index] = true;
    lock.unlock();
    ListedArchive listing;
    std::optional<ExitRequest> ended;
    // A run that ends here ends on the main thread, which takes the
    // listing: never by an exception out of this one.
    try {
      listing.List(archives_[index], compressed_, sandbox_, sums_, digests_, niceness_);
    } catch (const ExitRequest& request) {
      ended = request;
    }
    lock.lock();
    ended_[index] = ended;
    listed_[index] = std::move(listing);
    changed_.notify_all();
    if (ended) return;
  }
}

ListedArchive ListingsAhead::Take(size_t index, const std::string& archive) {
  std::unique_lock<std::mutex> lock(mutex_);
  taken_ = index + 1;
  changed_.notify_all();
  bool ahead = index < archives_.size() && archives_[index] == archive && by_thread_[index];
  if (!ahead) {
    // Not begun by the thread: listed here, and the thread goes on after it.
    if (index == next_) ++next_;
    lock.unlock();
    ListedArchive listing;
    listing.List(archive, compressed_, sandbox_, sums_, digests_);
    return listing;
  }
  changed_.wait(lock, [&] { return listed_[index].has_value(); });
  if (ended_[index]) throw *ended_[index];
  ListedArchive listing = std::move(*listed_[index]);
  listed_[index].reset();
  return listing;
}
