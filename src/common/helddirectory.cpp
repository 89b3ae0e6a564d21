#include "common/helddirectory.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <string_view>

namespace {

int held_fd = -1;
std::string held_path;

}  // namespace

void HoldDirectory(int fd, const std::string& path) {
  held_fd = fd;
  held_path = path;
}

void ReleaseHeldDirectory() {
  held_fd = -1;
  held_path.clear();
}

PathAt At(const std::string& path) {
  // A working file is named by the directory, a slash and a plain name.
  if (held_fd >= 0 && path.size() > held_path.size() + 1 && path.starts_with(held_path) &&
      path[held_path.size()] == '/' && path.find('/', held_path.size() + 1) == std::string::npos) {
    const char* name = path.c_str() + held_path.size() + 1;
    if (std::string_view(name) != "." && std::string_view(name) != "..") {
      return {held_fd, name, O_NOFOLLOW};
    }
  }
  return {AT_FDCWD, path.c_str(), 0};
}

int OpenPath(const std::string& path, int flags, int mode) {
  PathAt at = At(path);
  return openat(at.dir, at.name, flags | at.no_follow | O_CLOEXEC, mode);
}

int RenamePath(const std::string& from, const std::string& to) {
  PathAt source = At(from), target = At(to);
  return renameat(source.dir, source.name, target.dir, target.name);
}

int UnlinkPath(const std::string& path) {
  PathAt at = At(path);
  return unlinkat(at.dir, at.name, 0);
}
