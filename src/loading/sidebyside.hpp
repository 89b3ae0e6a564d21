// The batches of a load extracted side by side: each started when a place
// is free and every running batch whose footprint it meets has ended, and
// taken at its end in the order of the table of contents, so that what they
// say comes in that order and the first that failed is the one reported.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "loading/batchextraction.hpp"

class SideBySide {
 public:
  // At most `jobs` at once; `progress` is told about ten times a second
  // how many bytes of their archives the batches started here have read.
  SideBySide(int jobs, std::function<void(uint64_t)> progress)
      : jobs_(static_cast<size_t>(jobs)), progress_(std::move(progress)) {}

  // Whether a running batch's tar may still read the list of `slot`.
  bool SlotInUse(int slot) const;

  // Waits until a batch with `footprint` may start, and starts it; `taken`
  // runs when it is taken, having ended well. False when a batch failed
  // meanwhile: then every batch has ended, and the first failing one has
  // said what it said.
  bool Start(ListedArchive archive, Footprint footprint, Extraction extraction, uint64_t size,
             int slot, std::function<void()> taken);

  // Waits for every running batch and takes their ends. False as Start().
  bool Settle();

  // Waits a tenth of a second at most for a batch to end.
  void WaitForAnEnd();

  // Bytes read by batches started here: those taken, and those running.
  uint64_t Read() const;

 private:
  // Takes the ends of the batches that have ended, from the first. False
  // when one failed: after every running batch has ended.
  bool TakeEnded();
  bool AnyFailed() const;

  size_t jobs_;
  std::function<void(uint64_t)> progress_;
  Endings endings_;
  uint64_t taken_ = 0;  // bytes of the batches taken
  // The batches started and not yet taken, in order.
  std::deque<std::shared_ptr<ExtractionBeside>> running_;
  std::deque<std::function<void()>> taken_calls_;  // of each, in the same order
};
