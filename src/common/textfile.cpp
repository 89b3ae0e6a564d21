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

int OpenRegularFile(const std::string& path) {
  int fd = OpenPath(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = 0;
    return -1;
  }
  // Reads of a regular file never wait anyway; the flag is only dropped so
  // that a child handed the descriptor sees an ordinary file.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool IsReadableFile(const std::string& path) {
  int fd = OpenRegularFile(path);
  if (fd < 0) return false;
  close(fd);
  return true;
}
