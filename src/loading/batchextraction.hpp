// One batch's extraction: tar reading the archive the batch's listing was
// made from, through gunzip when it is compressed; run here and waited for,
// or in a thread of its own beside the extractions of other batches.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loading/archivelisting.hpp"
#include "loading/footprint.hpp"
#include "system/spawn.hpp"

// What runs: tar's arguments (the archive on standard input) for the
// archive open as `fd`.
struct Extraction {
  int fd = -1;
  bool compressed = false;
  std::vector<std::string> tar;
  const Sandbox* sandbox = nullptr;
  int said = -1;  // standard error of tar and gunzip; -1 keeps the installer's
  int into = -1;  // the installation directory, held: tar's working directory
};

struct ExtractionEnd {
  bool compressed = false;
  ChildEnd gunzip;  // of a compressed archive only
  ChildEnd tar;

  bool Succeeded() const { return tar.Succeeded() && (!compressed || gunzip.Succeeded()); }
  // Names a program that could not be started, on standard error.
  void ReportNotStarted() const;
};

// Runs `extraction` and waits for it; `read` is told about ten times a
// second how many bytes of the archive have been read.
ExtractionEnd RunExtraction(const Extraction& extraction,
                            const std::function<void(uint64_t)>& read = nullptr);

// Wakes the thread that waits for extractions when one ends.
struct Endings {
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t count = 0;  // extractions ended so far
};

// A batch extracted in a thread of its own. It keeps the listed archive
// (its descriptor is what tar reads) and what its members touch.
class ExtractionBeside {
 public:
  // Starts at once; `endings` is told when it ends. The thread never sees
  // an interrupt: the handler stays the main thread's.
  ExtractionBeside(ListedArchive archive, Footprint footprint, Extraction extraction, uint64_t size,
                   int slot, Endings& endings);
  ~ExtractionBeside();
  ExtractionBeside(const ExtractionBeside&) = delete;
  ExtractionBeside& operator=(const ExtractionBeside&) = delete;

  bool ended() const { return ended_.load(); }
  // Bytes of the archive read so far: all of them once it has ended.
  uint64_t read() const { return ended() ? size_ : read_.load(); }
  uint64_t size() const { return size_; }
  int slot() const { return slot_; }
  const Footprint& footprint() const { return footprint_; }
  // Once ended: how it ended.
  const ExtractionEnd& end() const { return end_; }
  // Once ended: what tar and gunzip said, on standard error.
  void ShowWhatWasSaid() const;

 private:
  void Run(Endings& endings);

  ListedArchive archive_;
  Footprint footprint_;
  Extraction extraction_;
  uint64_t size_;
  int slot_;
  std::atomic<uint64_t> read_ = 0;
  std::atomic<bool> ended_ = false;
  ExtractionEnd end_;
  std::thread thread_;
};
