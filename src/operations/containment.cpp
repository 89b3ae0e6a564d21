#include "operations/containment.hpp"

#include <cerrno>
#include <cstdlib>

#include "common/entrypath.hpp"

Containment::Containment() {
  if (char* root = realpath(".", nullptr)) {
    root_ = root;
    std::free(root);
  }
}

bool Containment::Allows(std::string_view path) {
  if (path.empty() || path.front() == '/' || HasDotDot(path)) return false;
  std::string_view target = WithoutTrailingSlashes(path);
  size_t slash = target.rfind('/');
  if (slash == std::string_view::npos) return true;  // directly in the directory
  std::string_view parent = target.substr(0, slash);
  if (!has_last_ || parent != last_parent_) {
    last_parent_ = parent;
    last_verdict_ = ParentInside(last_parent_);
    has_last_ = true;
  }
  return last_verdict_;
}

bool Containment::ParentInside(const std::string& parent) const {
  char* resolved = realpath(parent.c_str(), nullptr);
  if (!resolved) {
    // A parent that is not there holds nothing and leads nowhere (a
    // dangling link cannot be passed either); anything else that cannot be
    // resolved is not trusted.
    return errno == ENOENT || errno == ENOTDIR;
  }
  std::string_view place(resolved);
  bool inside = !root_.empty() && (root_ == "/" || place == root_ ||
                                   (place.starts_with(root_) && place[root_.size()] == '/'));
  std::free(resolved);
  return inside;
}
