#include "loading/footprint.hpp"

#include <algorithm>
#include <functional>

void Footprint::Wrote(std::string_view location) { Add(location, Kind::kWritten, 0); }

void Footprint::UsedDirectory(std::string_view location, int made_by) {
  Add(location, Kind::kDirectory, made_by);
}

void Footprint::WentThrough(std::string_view location) { Add(location, Kind::kLinkWalked, 0); }

void Footprint::Add(std::string_view location, Kind kind, int made_by) {
  // Every batch goes through the installation directory: it is no place
  // of its own, but one that sets its time meets every other batch.
  if (location.empty()) {
    writes_root_ = writes_root_ || kind == Kind::kWritten;
    return;
  }
  uses_.push_back({std::hash<std::string_view>{}(location), kind, made_by});
}

void Footprint::Seal() {
  std::sort(uses_.begin(), uses_.end(),
            [](const Use& a, const Use& b) { return a.place < b.place; });
  // One use a place; used in two ways by one batch, it is not a place the
  // batch leaves as it found it.
  size_t kept = 0;
  for (size_t i = 0; i < uses_.size(); ++i) {
    if (kept > 0 && uses_[kept - 1].place == uses_[i].place) {
      Use& use = uses_[kept - 1];
      if (use.kind != uses_[i].kind || use.made_by != uses_[i].made_by) use.kind = Kind::kWritten;
      continue;
    }
    uses_[kept++] = uses_[i];
  }
  // The room reserved for every member goes: a load may keep the
  // footprints of a thousand batches.
  uses_.resize(kept);
  uses_.shrink_to_fit();
}

bool Footprint::Shared(const Use& mine, const Use& theirs, int their_batch) const {
  if (mine.kind != theirs.kind || mine.kind == Kind::kWritten) return false;
  if (mine.kind == Kind::kLinkWalked) return true;
  for (int made_by : {mine.made_by, theirs.made_by}) {
    if (made_by != 0 && (made_by == batch_ || made_by == their_batch)) return false;
  }
  return true;
}

bool Footprint::Meets(const Footprint& other) const {
  if (writes_root_ || other.writes_root_) return true;
  auto mine = uses_.begin();
  auto theirs = other.uses_.begin();
  while (mine != uses_.end() && theirs != other.uses_.end()) {
    if (mine->place < theirs->place) {
      ++mine;
    } else if (theirs->place < mine->place) {
      ++theirs;
    } else {
      if (!Shared(*mine, *theirs, other.batch_)) return true;
      ++mine;
      ++theirs;
    }
  }
  return false;
}
