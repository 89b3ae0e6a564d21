#include "operations/beneath.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "common/entrypath.hpp"
#include "operations/landing.hpp"
#include <linux/openat2.h>

namespace {

constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// The kernel resolves the whole path in one call, refusing links and any
// escape; -1 with ENOSYS on a kernel without openat2.
int OpenAt2(int root_fd, const std::string& path) {
  open_how how = {};
  how.flags = kDirectoryFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  return static_cast<int>(syscall(SYS_openat2, root_fd, path.c_str(), &how, sizeof how));
}

// One step down from `dir` to its entry `name`.
Parent::Outcome OpenStep(int dir, const std::string& name, int& fd) {
  fd = openat(dir, name.c_str(), kDirectoryFlags | O_NOFOLLOW);
  if (fd >= 0) return Parent::Outcome::kOpened;
  if (errno == ENOENT) return Parent::Outcome::kMissing;
  struct stat st;
  // Not a directory: a link is refused, anything else holds no entry.
  if (errno == ENOTDIR && fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISLNK(st.st_mode)) {
    return Parent::Outcome::kMissing;
  }
  return Parent::Outcome::kRefused;
}

bool OpenToOthers(int fd) {
  struct stat st;
  return fstat(fd, &st) != 0 || OthersCanWrite(st);
}

}  // namespace

Parent OpenParentBeneath(int root_fd, std::string_view path, bool refuse_open_to_others) {
  Parent parent;
  path = WithoutTrailingSlashes(path);
  if (path.empty() || path.starts_with('/') || HasDotDot(path)) return parent;
  size_t slash = path.rfind('/');
  parent.name = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
  std::string way(slash == std::string_view::npos ? "." : path.substr(0, slash));
  if (refuse_open_to_others && OpenToOthers(root_fd)) {
    parent.open_to_others = ".";
    return parent;
  }
  if (!refuse_open_to_others) {
    int fd = OpenAt2(root_fd, way);
    if (fd >= 0) {
      parent.fd = fd;
      parent.outcome = Parent::Outcome::kOpened;
      return parent;
    }
    if (errno == ENOENT || errno == ENOTDIR) {
      // Which step failed decides; the steps below tell.
    } else if (errno != ENOSYS) {
      return parent;
    }
  }
  // Step by step: every directory on the way is looked at.
  int dir = fcntl(root_fd, F_DUPFD_CLOEXEC, 0);
  if (dir < 0) return parent;
  size_t at = 0;
  while (at <= way.size()) {
    size_t end = way.find('/', at);
    if (end == std::string::npos) end = way.size();
    std::string step = way.substr(at, end - at);
    at = end + 1;
    if (step.empty() || step == ".") continue;
    int next;
    parent.outcome = OpenStep(dir, step, next);
    close(dir);
    if (parent.outcome != Parent::Outcome::kOpened) return parent;
    dir = next;
    if (refuse_open_to_others && OpenToOthers(dir)) {
      parent.open_to_others = way.substr(0, end);
      close(dir);
      parent.outcome = Parent::Outcome::kRefused;
      return parent;
    }
  }
  parent.fd = dir;
  parent.outcome = Parent::Outcome::kOpened;
  return parent;
}
