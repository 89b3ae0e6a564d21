// The places below the installation directory one batch of a load writes
// or walks through, as the judgement of its members found them: two batches
// whose footprints do not meet can be extracted side by side and leave what
// one after the other leaves.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

class Footprint {
 public:
  // The footprint of the batch numbered `batch` (from 1, in the order of
  // the table of contents).
  explicit Footprint(int batch = 0) : batch_(batch) {}
  int batch() const { return batch_; }

  // A member lands at `location`: anything but a directory (a file, a link,
  // a hard link and what it names).
  void Wrote(std::string_view location);
  // A path of the batch goes through, or ends at, the directory at
  // `location`, which the batch numbered `made_by` makes (0: it was there
  // before the load).
  void UsedDirectory(std::string_view location, int made_by);
  // A path of the batch goes through the link at `location`.
  void WentThrough(std::string_view location);

  // Whether the two batches touch one place in a way that makes their order
  // matter: anything but a directory neither of them makes, or a link both
  // only go through. Two tars that make one directory at once can each
  // find it missing and then there.
  bool Meets(const Footprint& other) const;

 private:
  enum class Kind { kDirectory, kLinkWalked, kWritten };
  struct Use {
    Kind kind;
    int made_by;  // of a directory
  };
  void Add(std::string_view location, Use use);

  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  int batch_;
  std::unordered_map<std::string, Use, NameHash, std::equal_to<>> uses_;
};
