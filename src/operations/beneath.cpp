#include "operations/beneath.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/entrypath.hpp"
#include "operations/linkwalk.hpp"
#include "system/mounts.hpp"
#include "system/otherswrite.hpp"

namespace {

constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// The kernel walks the whole way in one call, keeps every step beneath the
// root and crosses no mount point; -1 with ENOSYS on a kernel without
// openat2.
int OpenAt2(int root_fd, const std::string& way) {
  open_how how = {};
  how.flags = kDirectoryFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
  return static_cast<int>(syscall(SYS_openat2, root_fd, way.c_str(), &how, sizeof how));
}

bool OpenToOthers(int fd) {
  struct stat st;
  return fstat(fd, &st) != 0 || OthersCanWrite(st);
}

// The same walk as the kernel's, one step at a time, each step opened
// without following a link from a directory already held; a link is read
// and its target walked from there, ".." never climbs above the root, and
// an absolute target stays inside only through the root's own path. Every
// directory on the way can be looked at; none may be a mount point.
Parent Walk(int root_fd, const std::string& root_path, const std::string& way,
            bool refuse_open_to_others, Parent parent) {
  std::vector<int> held = {fcntl(root_fd, F_DUPFD_CLOEXEC, 0)};
  std::string location;  // of the directory last held, below the root
  auto release = [&] {
    for (int fd : held) close(fd);
    held.clear();
  };
  if (held.back() < 0) return parent;
  LinkWalk walk(way, root_path, false);
  parent.outcome = Parent::Outcome::kRefused;
  LinkWalk::Step next;
  while (walk.Next(next)) {
    const std::string& step = next.name;
    if (step == "..") {
      if (held.size() == 1) return release(), parent;
      close(held.back());
      held.pop_back();
      location.erase(location.rfind('/') == std::string::npos ? 0 : location.rfind('/'));
      continue;
    }
    int fd = openat(held.back(), step.c_str(), kDirectoryFlags | O_NOFOLLOW);
    if (fd >= 0) {
      bool mount_point = IsMountRoot(fd, held.back());
      held.push_back(fd);
      if (mount_point) return release(), parent;
      location += (location.empty() ? "" : "/") + step;
      if (refuse_open_to_others && OpenToOthers(fd)) {
        parent.open_to_others = location;
        return release(), parent;
      }
      continue;
    }
    if (errno == ENOENT) {
      parent.outcome = Parent::Outcome::kMissing;
      return release(), parent;
    }
    struct stat st;
    if (errno != ENOTDIR || fstatat(held.back(), step.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return release(), parent;
    }
    if (!S_ISLNK(st.st_mode)) {
      parent.outcome = Parent::Outcome::kMissing;  // a file where a directory belongs
      return release(), parent;
    }
    std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
    ssize_t got = readlinkat(held.back(), step.c_str(), target.data(), target.size());
    if (got <= 0) return release(), parent;
    target.resize(static_cast<size_t>(got));
    LinkWalk::Through through = walk.Follow(target);
    if (through == LinkWalk::Through::kOutside) return release(), parent;
    if (through == LinkWalk::Through::kRoot) {
      for (; held.size() > 1; held.pop_back()) close(held.back());
      location.clear();
    }
  }
  parent.fd = held.back();
  held.pop_back();
  release();
  parent.outcome = Parent::Outcome::kOpened;
  return parent;
}

}  // namespace

Parent OpenParentBeneath(int root_fd, const std::string& root_path, std::string_view path,
                         bool refuse_open_to_others) {
  Parent parent;
  path = WithoutTrailingSlashes(path);
  if (path.empty() || path.starts_with('/') || HasDotDot(path)) return parent;
  size_t slash = path.rfind('/');
  parent.name = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
  std::string way(slash == std::string_view::npos ? "." : path.substr(0, slash));
  if (refuse_open_to_others) {
    if (OpenToOthers(root_fd)) {
      parent.open_to_others = ".";
      return parent;
    }
    return Walk(root_fd, root_path, way, true, parent);
  }
  int fd = OpenAt2(root_fd, way);
  if (fd >= 0) {
    parent.fd = fd;
    parent.outcome = Parent::Outcome::kOpened;
    return parent;
  }
  // Without openat2, or where the kernel's walk met an absolute link (which
  // may lead back in through the root's own path), the walk step by step.
  if (errno == ENOSYS || errno == EXDEV) return Walk(root_fd, root_path, way, false, parent);
  // A missing directory, or a file where one belongs: the entry is not there.
  if (errno == ENOENT || errno == ENOTDIR) parent.outcome = Parent::Outcome::kMissing;
  return parent;
}

std::vector<std::string> MountPointsBeneath(int root_fd) {
  std::optional<std::string> root = PathOfDescriptor(root_fd);
  std::optional<std::vector<std::string>> below = root ? MountPointsBelow(*root) : std::nullopt;
  return below ? *below : std::vector<std::string>();
}

bool ReachesMount(const Parent& parent, const std::vector<std::string>& mount_points) {
  if (IsMountPoint(parent.fd, parent.name)) return true;
  if (mount_points.empty()) return false;
  // Where the entry lies as the mount table names places; a directory that
  // cannot be placed counts as holding a mount point.
  std::optional<std::string> dir = PathOfDescriptor(parent.fd);
  if (!dir) return true;
  std::string entry = (*dir == "/" ? "" : *dir) + "/" + parent.name + "/";
  for (const std::string& point : mount_points) {
    if (point.starts_with(entry)) return true;
  }
  return false;
}
