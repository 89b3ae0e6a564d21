// Reading and writing files line by line in large blocks: the one reader and
// the one writer of the program. The walk over the categories passes every
// line of the table of contents through here several times, so neither side
// copies anything per line. Any file failure ends the run with the system's
// error text for the file's name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The lines of a file, each of any length, without its line end; the last
// line may lack its line end.
class LineReader {
 public:
  // Opens `path` and reads it from the start.
  explicit LineReader(const std::string& path);
  // Reads the regular file open as `fd` (named `name`) from `offset`,
  // without moving its file position; the descriptor stays the caller's.
  // `first_read`: how many bytes to read at first (0: the usual amount), for
  // a reader of a few lines in the middle of a file.
  LineReader(int fd, const std::string& name, uint64_t offset, size_t first_read = 0);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, valid until the next call; false at the end of the file.
  bool Next(std::string_view& line);
  // The file offset where the next line begins.
  uint64_t Offset() const { return file_offset_ - (end_ - begin_); }
  int fd() const { return fd_; }

 private:
  bool Fill();

  int fd_;
  bool owned_;
  std::string name_;
  std::vector<char> buffer_;
  size_t begin_ = 0;          // first byte not yet handed out
  size_t end_ = 0;            // end of the bytes read
  uint64_t file_offset_ = 0;  // offset of the byte after the bytes read
  bool positioned_ = false;   // reads at file_offset_ (pread)
  bool at_end_ = false;
};

// The first line of `path`, without its line end; empty for an empty file.
std::string ReadFirstLine(const std::string& path);

// The number of lines of `path`.
uint64_t CountLines(const std::string& path);

// The line of `text` that starts at `at` (without its line end) and the
// offset after its line end; false at the end of `text`. For text held in
// memory, such as a mapped file.
bool LineAt(std::string_view text, size_t at, std::string_view& line, size_t& next);

// A file written from the start; what it held before is cut at Close().
class LineWriter {
 public:
  explicit LineWriter(const std::string& path);
  // Without Close() (the run is ending) the file is closed unflushed.
  ~LineWriter();
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // Writes `line` and its end: a line end, or `end` for a list of names
  // that a NUL byte separates.
  void Write(std::string_view line, char end = '\n');
  // Bytes written so far through Write().
  uint64_t Written() const { return written_; }
  // Writes what is buffered and gives the descriptor, for a caller that
  // writes large blocks itself.
  int FlushedFd() {
    Flush();
    return fd_;
  }
  // Writes what is buffered and closes the file.
  void Close();

 private:
  void Flush();

  int fd_;
  std::string name_;
  std::vector<char> buffer_;
  size_t used_ = 0;
  uint64_t written_ = 0;
};

// Writes all of `size` bytes to `fd`, a file named `name`.
void WriteAll(int fd, const char* data, size_t size, const std::string& name);
