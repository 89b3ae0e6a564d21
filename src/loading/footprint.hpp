// The places below the installation directory one batch of a load writes
// or walks through, as the judgement of its members found them: two batches
// whose footprints do not meet can be extracted side by side and leave what
// one after the other leaves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class Footprint {
 public:
  // The footprint of the batch numbered `batch` (from 1, in the order of
  // the table of contents).
  explicit Footprint(int batch = 0) : batch_(batch) {}
  int batch() const { return batch_; }

  // A member lands at `location` (a file, a link, a hard link and what it
  // names, a directory whose time tar sets); "" is the installation
  // directory itself, which every batch uses.
  void Wrote(std::string_view location);
  // A path of the batch goes through, or ends at, the directory at
  // `location`, which the batch numbered `made_by` makes (0: it was there
  // before the load).
  void UsedDirectory(std::string_view location, int made_by);
  // A path of the batch goes through the link at `location`.
  void WentThrough(std::string_view location);

  // Room for `uses` places noted without moving the ones noted before;
  // what is never noted costs no memory but address space.
  void Reserve(size_t uses) { uses_.reserve(uses); }

  // Everything is noted: puts the places in order for Meets().
  void Seal();

  // Whether the two sealed footprints touch one place in a way that makes
  // their order matter: anything but a directory neither of them makes, or
  // a link both only go through. Two tars that make one directory at once
  // can each find it missing and then there.
  bool Meets(const Footprint& other) const;

 private:
  enum class Kind : uint8_t { kDirectory, kLinkWalked, kWritten };
  // A place is kept as a 64-bit hash of its path: two paths that share one
  // only make two batches wait for each other, never the other way round.
  struct Use {
    uint64_t place;
    Kind kind;
    int made_by;  // of a directory
  };
  void Add(std::string_view location, Kind kind, int made_by);
  // Whether two uses of one place let the batches run side by side.
  bool Shared(const Use& mine, const Use& theirs, int their_batch) const;

  int batch_;
  bool writes_root_ = false;  // the installation directory's own time
  std::vector<Use> uses_;
};
