#include "catalogue/lineio.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/copyfile.hpp"
#include "common/textfile.hpp"

namespace {
constexpr size_t kBlock = 1 << 18;
}

LineReader::LineReader(std::FILE* file, std::string name)
    : fd_(fileno(file)), name_(std::move(name)), buffer_(kBlock) {}

bool LineReader::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A line longer than the buffer makes it grow.
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  for (;;) {
    ssize_t got = read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) DieFor(name_);
    if (got == 0) at_end_ = true;
    end_ += static_cast<size_t>(got);
    return got > 0;
  }
}

bool LineReader::Next(std::string_view& line) {
  size_t searched = begin_;
  for (;;) {
    const char* data = buffer_.data();
    if (const void* newline = std::memchr(data + searched, '\n', end_ - searched)) {
      size_t at = static_cast<size_t>(static_cast<const char*>(newline) - data);
      line = std::string_view(data + begin_, at - begin_);
      begin_ = at + 1;
      return true;
    }
    size_t pending = end_ - begin_;
    if (at_end_ || !Fill()) {
      // The last line may lack its line end.
      if (begin_ == end_) return false;
      line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      return true;
    }
    searched = pending;  // Fill() moved the pending bytes to the front
  }
}

std::FILE* CreateOrDie(const std::string& path, std::FILE* open) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    int error = errno;
    if (open) std::fclose(open);
    errno = error;
    DieFor(path);
  }
  std::setvbuf(file, nullptr, _IOFBF, kBlock);
  return file;
}

void WriteLine(std::FILE* out, std::string_view line) {
  fwrite_unlocked(line.data(), 1, line.size(), out);
  putc_unlocked('\n', out);
}

void CloseOrDie(std::FILE* file, const std::string& name) {
  errno = 0;
  bool failed = std::ferror(file) != 0;
  if (std::fclose(file) != 0) failed = true;
  if (failed) {
    if (errno == 0) errno = EIO;
    DieFor(name);
  }
}

void MoveOver(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return;
  CopyFile(from, to);
  RemoveOrDie(from);
}
