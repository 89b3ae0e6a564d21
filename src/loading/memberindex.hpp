// The members of one listing by name, for a load whose archive comes back
// in many runs of lines: each batch then looks at the members it selects,
// not at every member of the archive.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "loading/archivemembers.hpp"

class TarBatch;

class MemberIndex {
 public:
  // `members` must outlive the index.
  explicit MemberIndex(const MemberList& members);

  // The members `batch` selects (as TarBatch::Selects does), in archive
  // order. `fails`: a listed name selects none (tar fails on it).
  std::vector<MemberView> Selected(const TarBatch& batch, bool& fails) const;

 private:
  const MemberList& members_;
  // Each member's name without trailing slashes, and its place; by name.
  std::vector<std::pair<std::string_view, uint32_t>> by_name_;
};
