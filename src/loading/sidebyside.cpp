#include "loading/sidebyside.hpp"

#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

bool SideBySide::SlotInUse(int slot) const {
  for (const auto& batch : running_) {
    if (batch->slot() == slot && !batch->ended()) return true;
  }
  return false;
}

bool SideBySide::Start(ListedArchive archive, Footprint footprint, Extraction extraction,
                       uint64_t size, int slot, std::function<void()> taken) {
  std::vector<std::shared_ptr<const ExtractionBeside>> before;
  for (const auto& batch : running_) {
    if (!batch->ended() && batch->footprint().Meets(footprint)) before.push_back(batch);
  }
  for (;;) {
    if (!TakeEnded()) return false;
    // One after another, nothing after a failed batch would have run.
    if (AnyFailed()) {
      Settle();
      return false;
    }
    size_t busy = 0;
    for (const auto& batch : running_) busy += batch->ended() ? 0 : 1;
    bool waiting = false;
    for (const auto& earlier : before) waiting = waiting || !earlier->ended();
    if (!waiting && busy < jobs_) break;
    WaitForAnEnd();
  }
  running_.push_back(std::make_shared<ExtractionBeside>(
      std::move(archive), std::move(footprint), std::move(extraction), size, slot, endings_));
  taken_calls_.push_back(std::move(taken));
  return true;
}

bool SideBySide::Settle() {
  while (!running_.empty()) {
    while (!running_.front()->ended()) WaitForAnEnd();
    if (!TakeEnded()) return false;
  }
  return true;
}

bool SideBySide::TakeEnded() {
  while (!running_.empty() && running_.front()->ended()) {
    std::shared_ptr<ExtractionBeside> ended = std::move(running_.front());
    std::function<void()> taken = std::move(taken_calls_.front());
    running_.pop_front();
    taken_calls_.pop_front();
    ended->ShowWhatWasSaid();
    taken_ += ended->size();
    if (ended->end().Succeeded()) {
      if (taken) taken();
      continue;
    }
    for (const auto& batch : running_) {
      while (!batch->ended()) WaitForAnEnd();
    }
    ended->end().ReportNotStarted();
    return false;
  }
  return true;
}

bool SideBySide::AnyFailed() const {
  for (const auto& batch : running_) {
    if (batch->ended() && !batch->end().Succeeded()) return true;
  }
  return false;
}

void SideBySide::WaitForAnEnd() {
  {
    std::unique_lock<std::mutex> lock(endings_.mutex);
    uint64_t seen = endings_.count;
    endings_.changed.wait_for(lock, std::chrono::milliseconds(100),
                              [&] { return endings_.count != seen; });
  }
  if (progress_) progress_(Read());
}

uint64_t SideBySide::Read() const {
  uint64_t read = taken_;
  for (const auto& batch : running_) read += batch->read();
  return read;
}
