#include "common/textfile.hpp"

#include <fcntl.h>
#include <stdio_ext.h>
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

std::FILE* OpenOrDie(const std::string& path, const char* mode) {
  std::FILE* file = std::fopen(path.c_str(), mode);
  if (!file) DieFor(path);
  return file;
}

bool ReadLine(std::FILE* file, std::string& line) {
  // One buffer serves every call; the program has one thread.
  static char* buffer = nullptr;
  static size_t size = 0;
  // With one thread the stream needs no lock, and the selection is read
  // line by line several times.
  __fsetlocking(file, FSETLOCKING_BYCALLER);
  ssize_t length = getline(&buffer, &size, file);
  if (length < 0) {
    line.clear();
    return false;
  }
  if (length > 0 && buffer[length - 1] == '\n') --length;
  line.assign(buffer, static_cast<size_t>(length));
  return true;
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
