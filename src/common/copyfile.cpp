#include "common/copyfile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/textfile.hpp"

namespace {

// Copies inside the kernel: the walk over the categories appends every
// chosen line to PAK, so this moves the whole selection once more. False
// when the kernel cannot copy between these files, before anything moved.
bool KernelCopy(int in, int out) {
  bool moved = false;
  for (;;) {
    ssize_t got = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (got > 0) {
      moved = true;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    // As the copy through a buffer, a failed write is not reported.
    return got == 0 || moved;
  }
}

void BufferCopy(int in, int out) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    for (ssize_t put = 0; put < got;) {
      ssize_t n = write(out, buffer + put, static_cast<size_t>(got - put));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      put += n;
    }
  }
}

}  // namespace

void CopyBytes(const std::string& source, const std::string& target, const char* target_mode) {
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) DieFor(source);
  // The kernel does not copy onto a file opened for appending: an append
  // starts at the end instead.
  bool append = target_mode[0] == 'a';
  int out = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? 0 : O_TRUNC), 0666);
  if (out < 0) {
    int error = errno;
    close(in);
    errno = error;
    DieFor(target);
  }
  if (append) lseek(out, 0, SEEK_END);
  if (!KernelCopy(in, out)) BufferCopy(in, out);
  close(in);
  close(out);
}

void CopyFile(const std::string& source, const std::string& target) {
  CopyBytes(source, target, "w");
}
