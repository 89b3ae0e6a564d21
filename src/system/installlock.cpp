#include "system/installlock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/visibletext.hpp"

void LockInstallation(int dir_fd, const std::string& name) {
  // Kept open until the run ends, which releases the lock. Children do not
  // inherit it. A lock needs a descriptor opened for reading.
  int fd = openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return;
  if (errno != EWOULDBLOCK) return;
  std::fflush(stdout);
  std::fputs("waiting for another installation in ", stderr);
  PutVisible(name, stderr);
  std::fputs("\n", stderr);
  while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
}
