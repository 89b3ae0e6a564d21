#include "loading/memberindex.hpp"

#include <algorithm>
#include <string>

#include "common/entrypath.hpp"
#include "loading/tarbatch.hpp"

MemberIndex::MemberIndex(const MemberList& members) : members_(members) {
  by_name_.reserve(members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    by_name_.emplace_back(WithoutTrailingSlashes(members[i].name), static_cast<uint32_t>(i));
  }
  std::sort(by_name_.begin(), by_name_.end());
}

std::vector<MemberView> MemberIndex::Selected(const TarBatch& batch, bool& fails) const {
  fails = false;
  std::vector<uint32_t> places;
  auto from = [&](std::string_view name) {
    return std::lower_bound(by_name_.begin(), by_name_.end(),
                            std::pair<std::string_view, uint32_t>(name, 0));
  };
  batch.ForEachName([&](std::string_view name) {
    // The member of that name, then those below it.
    size_t before = places.size();
    for (auto at = from(name); at != by_name_.end() && at->first == name; ++at) {
      places.push_back(at->second);
    }
    std::string below = std::string(name) + "/";
    for (auto at = from(below); at != by_name_.end() && at->first.starts_with(below); ++at) {
      places.push_back(at->second);
    }
    fails = fails || places.size() == before;
  });
  std::sort(places.begin(), places.end());
  places.erase(std::unique(places.begin(), places.end()), places.end());
  std::vector<MemberView> selected;
  selected.reserve(places.size());
  for (uint32_t place : places) selected.push_back(members_[place]);
  return selected;
}
