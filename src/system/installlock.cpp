#include "system/installlock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

#include "common/visibletext.hpp"
#include "system/lockholder.hpp"
#include "system/notice.hpp"

namespace {

// "waiting for another installation in DIR", and "(process PID of USER)"
// when the holder is known.
void SayWaiting(int fd, const std::string& name, bool exclusive) {
  struct stat st;
  std::optional<LockHolder> holder;
  if (fstat(fd, &st) == 0) holder = FindLockHolder(st, exclusive);
  std::string who;
  if (holder)
    who = " (process " + std::to_string(holder->pid) + " of " + Visible(holder->user) + ")";
  Notice("waiting for another installation in ", name, who);
}

}  // namespace

void LockInstallation(int dir_fd, const std::string& name, LockKind kind) {
  // Kept open until the run ends, which releases the lock. Children do not
  // inherit it. A lock needs a descriptor opened for reading.
  int fd = openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  int operation = kind == LockKind::kExclusive ? LOCK_EX : LOCK_SH;
  if (flock(fd, operation | LOCK_NB) == 0) return;
  if (errno != EWOULDBLOCK) return;
  SayWaiting(fd, name, kind == LockKind::kExclusive);
  while (flock(fd, operation) != 0 && errno == EINTR) {
  }
}
