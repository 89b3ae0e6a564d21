#include "system/otherswrite.hpp"

#include <unistd.h>

#include <cstdlib>
#include <memory>

bool OthersCanWrite(const struct stat& st) {
  bool owned_by_another = st.st_uid != 0 && st.st_uid != geteuid();
  return owned_by_another || (st.st_mode & S_IWOTH) != 0 ||
         ((st.st_mode & S_IWGRP) != 0 && st.st_gid != 0);
}

bool PathChangeableByOthers(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  if (!real) return true;
  std::string below = real.get();
  while (below.size() > 1) {
    size_t slash = below.rfind('/');
    std::string above = slash == 0 ? "/" : below.substr(0, slash);
    struct stat holder, held;
    if (stat(above.c_str(), &holder) != 0 || lstat(below.c_str(), &held) != 0) return true;
    bool sticky_keeps =
        (holder.st_mode & S_ISVTX) != 0 && (held.st_uid == 0 || held.st_uid == geteuid());
    if (OthersCanWrite(holder) && !sticky_keeps) return true;
    below = above;
  }
  return false;
}
