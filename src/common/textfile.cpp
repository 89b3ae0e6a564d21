#include "common/textfile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/exitrequest.hpp"

void DieFor(const std::string& name) {
  std::fflush(stdout);
  std::perror(name.c_str());
  exite(1);
}

void RemoveOrDie(const std::string& path) {
  if (std::remove(path.c_str()) != 0 && errno != ENOENT) DieFor(path);
}

bool IsReadableFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular;
}
