#include "operations/footprint.hpp"

void Footprint::Wrote(std::string_view location) { Add(location, {Kind::kWritten, 0}); }

void Footprint::UsedDirectory(std::string_view location, int made_by) {
  Add(location, {Kind::kDirectory, made_by});
}

void Footprint::WentThrough(std::string_view location) { Add(location, {Kind::kLinkWalked, 0}); }

void Footprint::Add(std::string_view location, Use use) {
  if (location.empty()) return;
  auto found = uses_.find(location);
  if (found == uses_.end()) {
    uses_.emplace(std::string(location), use);
  } else if (found->second.kind != use.kind) {
    // Used in two ways by one batch: not a place it leaves as it found it.
    found->second.kind = Kind::kWritten;
  }
}

bool Footprint::Meets(const Footprint& other) const {
  const Footprint& small = uses_.size() <= other.uses_.size() ? *this : other;
  const Footprint& large = &small == this ? other : *this;
  for (const auto& [location, use] : small.uses_) {
    auto found = large.uses_.find(location);
    if (found == large.uses_.end()) continue;
    const Use& theirs = found->second;
    if (use.kind != theirs.kind || use.kind == Kind::kWritten) return true;
    if (use.kind == Kind::kDirectory) {
      for (int made_by : {use.made_by, theirs.made_by}) {
        if (made_by != 0 && (made_by == batch_ || made_by == other.batch_)) return true;
      }
    }
  }
  return false;
}
