#include "common/textfile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/exitrequest.hpp"
#include "common/helddirectory.hpp"

void DieFor(const std::string& name) {
  std::fflush(stdout);
  std::perror(name.c_str());
  exite(1);
}

void RemoveOrDie(const std::string& path) {
  if (UnlinkPath(path) != 0 && errno != ENOENT) DieFor(path);
}

namespace {

// `fd` when it is open on a regular file, its flag against waiting dropped:
// reads and writes of a regular file never wait anyway, and a child handed
// the descriptor sees an ordinary file. Otherwise -1, closed, errno 0.
int KeepIfRegular(int fd) {
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = 0;
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

int OpenRegularFile(const std::string& path) {
  return KeepIfRegular(OpenPath(path, O_RDONLY | O_NONBLOCK));
}

int OpenForAppending(const std::string& path, mode_t mode) {
  int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
  // A link (refused by O_NOFOLLOW), or a fifo or device without a reader.
  if (fd < 0 && (errno == ELOOP || errno == ENXIO)) errno = 0;
  return KeepIfRegular(fd);
}

bool ReadWholeFile(const std::string& path, std::string& text, long long most) {
  int fd = OpenRegularFile(path);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  int error = ok ? 0 : errno;
  if (ok && most >= 0 && st.st_size > most) ok = false;
  if (ok) {
    text.assign(static_cast<size_t>(st.st_size), '\0');
    ok = pread(fd, text.data(), text.size(), 0) == st.st_size;
    if (!ok) error = errno;
  }
  close(fd);
  errno = error;
  return ok;
}

bool IsReadableFile(const std::string& path) {
  int fd = OpenRegularFile(path);
  if (fd < 0) return false;
  close(fd);
  return true;
}
