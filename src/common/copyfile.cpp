#include "common/copyfile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <vector>

#include "common/helddirectory.hpp"
#include "common/lineio.hpp"
#include "common/textfile.hpp"

namespace {

constexpr uint64_t kToTheEnd = std::numeric_limits<uint64_t>::max();

// Copies inside the kernel from `at` until `size` bytes moved or the file
// ended; advances both. False when the kernel cannot copy between these
// files or fails (the rest then goes through a buffer).
bool KernelCopy(int in, uint64_t& at, uint64_t& size, int out) {
  while (size > 0) {
    off_t from = static_cast<off_t>(at);
    size_t want = static_cast<size_t>(std::min<uint64_t>(size, 1 << 30));
    ssize_t got = copy_file_range(in, &from, out, nullptr, want, 0);
    if (got < 0 && errno == EINTR) continue;
    // Not between these files, or a failure that the copy through a buffer
    // meets again and then puts on the right file.
    if (got < 0) return false;
    // The end of the file, or a file the kernel reports empty (some special
    // files): the buffer decides.
    if (got == 0) return size == kToTheEnd;
    at += static_cast<uint64_t>(got);
    if (size != kToTheEnd) size -= static_cast<uint64_t>(got);
  }
  return true;
}

void BufferCopy(int in, uint64_t at, uint64_t size, int out, const std::string& in_name,
                const std::string& out_name) {
  std::vector<char> buffer(1 << 20);
  while (size > 0) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size));
    ssize_t got = pread(in, buffer.data(), want, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 && size == kToTheEnd) return;
    if (got <= 0) {
      if (got == 0) errno = EIO;  // the file shrank under the caller
      DieFor(in_name);
    }
    WriteAll(out, buffer.data(), static_cast<size_t>(got), out_name);
    at += static_cast<uint64_t>(got);
    if (size != kToTheEnd) size -= static_cast<uint64_t>(got);
  }
}

int OpenOrDie(const std::string& path, int flags) {
  int fd = OpenPath(path, flags);
  if (fd < 0) DieFor(path);
  return fd;
}

}  // namespace

void CopyRange(int in, uint64_t offset, uint64_t size, int out, const std::string& in_name,
               const std::string& out_name) {
  if (!KernelCopy(in, offset, size, out)) BufferCopy(in, offset, size, out, in_name, out_name);
}

void CopyWholeFile(const std::string& source, const std::string& target, bool append) {
  int in = OpenOrDie(source, O_RDONLY);
  // The kernel does not copy onto a file opened for appending: an append
  // starts at the end instead.
  int out = OpenPath(target, O_WRONLY | O_CREAT | (append ? 0 : O_TRUNC));
  if (out < 0) {
    int error = errno;
    close(in);
    errno = error;
    DieFor(target);
  }
  if (append && lseek(out, 0, SEEK_END) < 0) DieFor(target);
  CopyRange(in, 0, kToTheEnd, out, source, target);
  close(in);
  if (close(out) != 0) DieFor(target);
}

void CopyFile(const std::string& source, const std::string& target) {
  CopyWholeFile(source, target, false);
}

void MoveOver(const std::string& from, const std::string& to) {
  if (RenamePath(from, to) == 0) return;
  CopyFile(from, to);
  RemoveOrDie(from);
}
