#include "common/lineio.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/helddirectory.hpp"
#include "common/textfile.hpp"

namespace {

constexpr size_t kBlock = 1 << 18;

int OpenFd(const std::string& path, int flags) {
  int fd = OpenPath(path, flags);
  if (fd < 0) DieFor(path);
  return fd;
}

}  // namespace

LineReader::LineReader(const std::string& path)
    : fd_(OpenFd(path, O_RDONLY)), owned_(true), name_(path), buffer_(kBlock) {}

LineReader::LineReader(int fd, const std::string& name, uint64_t offset, size_t first_read)
    : fd_(fd),
      owned_(false),
      name_(name),
      buffer_(first_read > 0 ? first_read : kBlock),
      file_offset_(offset),
      positioned_(true) {}

LineReader::~LineReader() {
  if (owned_) close(fd_);
}

bool LineReader::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A line longer than the buffer makes it grow.
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  for (;;) {
    char* into = buffer_.data() + end_;
    size_t room = buffer_.size() - end_;
    ssize_t got = positioned_ ? pread(fd_, into, room, static_cast<off_t>(file_offset_))
                              : read(fd_, into, room);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) DieFor(name_);
    if (got == 0) at_end_ = true;
    end_ += static_cast<size_t>(got);
    file_offset_ += static_cast<uint64_t>(got);
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

std::string ReadFirstLine(const std::string& path) {
  LineReader reader(path);
  std::string_view line;
  return reader.Next(line) ? std::string(line) : std::string();
}

uint64_t CountLines(const std::string& path) {
  LineReader reader(path);
  std::string_view line;
  uint64_t lines = 0;
  while (reader.Next(line)) ++lines;
  return lines;
}

bool LineAt(std::string_view text, size_t at, std::string_view& line, size_t& next) {
  if (at >= text.size()) return false;
  size_t stop = text.find('\n', at);
  next = stop == std::string_view::npos ? text.size() : stop + 1;
  line = text.substr(at, (stop == std::string_view::npos ? text.size() : stop) - at);
  return true;
}

// The old content is written over and cut at Close(), not truncated here:
// the filesystem writes a file that was truncated to nothing out to disk
// when it closes, and the walk rewrites MOD for every category.
LineWriter::LineWriter(const std::string& path)
    : fd_(OpenFd(path, O_WRONLY | O_CREAT)), name_(path), buffer_(kBlock) {}

LineWriter::~LineWriter() {
  if (fd_ >= 0) close(fd_);
}

void LineWriter::Write(std::string_view line, char end) {
  if (used_ + line.size() + 1 > buffer_.size()) {
    Flush();
    if (line.size() + 1 > buffer_.size()) {
      WriteAll(fd_, line.data(), line.size(), name_);
      written_ += line.size();
      line = std::string_view();
    }
  }
  if (!line.empty()) std::memcpy(buffer_.data() + used_, line.data(), line.size());
  used_ += line.size();
  buffer_[used_++] = end;
  written_ += line.size() + 1;
}

void LineWriter::Flush() {
  WriteAll(fd_, buffer_.data(), used_, name_);
  used_ = 0;
}

void LineWriter::Close() {
  Flush();
  // Blocks written by the caller through FlushedFd() count too.
  struct stat st;
  if (fstat(fd_, &st) != 0) DieFor(name_);
  if (S_ISREG(st.st_mode)) {
    off_t end = lseek(fd_, 0, SEEK_CUR);
    if (end < 0) DieFor(name_);
    if (st.st_size != end && ftruncate(fd_, end) != 0) DieFor(name_);
  }
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) DieFor(name_);
}

void WriteAll(int fd, const char* data, size_t size, const std::string& name) {
  while (size > 0) {
    ssize_t put = write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) DieFor(name);
    data += put;
    size -= static_cast<size_t>(put);
  }
}
