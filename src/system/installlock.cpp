#include "system/installlock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "common/exitrequest.hpp"
#include "common/visibletext.hpp"
#include "system/lockholder.hpp"
#include "system/notice.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// How often a run that waits tries the lock again.
constexpr auto kRetry = std::chrono::milliseconds(100);

// "(process PID of USER)", or nothing when the holder is not known.
std::string Who(const std::optional<LockHolder>& holder) {
  if (!holder) return "";
  return " (process " + std::to_string(holder->pid) + " of " + Visible(holder->user) + ")";
}

// Whether the holder is a user for whom the lock is there: root, the
// directory's owner (with status `dir`), or the one running.
bool MayInstallThere(const std::optional<LockHolder>& holder, const struct stat& dir) {
  return holder && (holder->uid == 0 || holder->uid == dir.st_uid || holder->uid == geteuid());
}

// Anyone who can read the directory can lock it: a holder who is none of
// those is waited for only so long, then the run ends and says what to do.
[[noreturn]] void GiveUp(const std::string& name, const std::optional<LockHolder>& holder) {
  Notice("install: not waiting longer for ", name,
         Who(holder) +
             ": held by a user who is neither root nor its owner; end that process if it is "
             "no installation, or run again once it has ended");
  exite(1);
}

}  // namespace

void LockInstallation(int dir_fd, const std::string& name, LockKind kind) {
  // Kept open until the run ends, which releases the lock. Children do not
  // inherit it. A lock needs a descriptor opened for reading.
  int fd = openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  bool exclusive = kind == LockKind::kExclusive;
  int operation = exclusive ? LOCK_EX : LOCK_SH;
  struct stat st;
  if (fstat(fd, &st) != 0) return;
  bool said = false;
  std::optional<Clock::time_point> stranger_since;
  // Tried again and again rather than waited for in the kernel: whoever
  // holds it is looked at each time.
  while (flock(fd, operation | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return;
    std::optional<LockHolder> holder = FindLockHolder(st, exclusive);
    if (!said) Notice("waiting for another installation in ", name, Who(holder));
    said = true;
    if (MayInstallThere(holder, st)) {
      stranger_since.reset();
    } else if (!stranger_since) {
      stranger_since = Clock::now();
    } else if (Clock::now() - *stranger_since >= kStrangerWait) {
      GiveUp(name, holder);
    }
    std::this_thread::sleep_for(kRetry);
  }
}
