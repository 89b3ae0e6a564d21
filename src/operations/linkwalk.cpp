#include "operations/linkwalk.hpp"

#include <utility>
#include <vector>

#include "common/entrypath.hpp"

namespace {

// As the kernel, a path may pass through at most this many links.
constexpr int kMostLinks = 40;

}  // namespace

LinkWalk::LinkWalk(std::string_view path, std::string_view root_path, bool mark_last)
    : root_path_(root_path) {
  PushFront(path, mark_last);
}

bool LinkWalk::Next(Step& step) {
  if (pending_.empty()) return false;
  step = std::move(pending_.front());
  pending_.pop_front();
  return true;
}

LinkWalk::Through LinkWalk::Follow(std::string_view target) {
  if (++links_ > kMostLinks) return Through::kOutside;
  Through through = Through::kHere;
  if (target.starts_with('/')) {
    if (root_path_ != "/") {
      if (!target.starts_with(root_path_)) return Through::kOutside;
      target.remove_prefix(root_path_.size());
      if (!target.empty() && target[0] != '/') return Through::kOutside;
    }
    through = Through::kRoot;
  }
  PushFront(target, false);
  return through;
}

void LinkWalk::PushFront(std::string_view path, bool mark_last) {
  std::vector<Step> steps;
  for (std::string_view part : PathComponents(path)) steps.push_back({std::string(part), false});
  if (mark_last && !steps.empty()) steps.back().last = true;
  pending_.insert(pending_.begin(), steps.begin(), steps.end());
}
