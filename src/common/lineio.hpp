// Reading and writing the working files line by line in large blocks. The
// walk over the categories passes every line of the table of contents
// through here several times, so both sides copy nothing per line. Any file failure ends the run with the
// system's error text for the file's name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The lines of a file, each of any length, without its line end.
class LineReader {
 public:
  explicit LineReader(const std::string& path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, valid until the next call; false at the end of the file.
  bool Next(std::string_view& line);
  int fd() const { return fd_; }

 private:
  bool Fill();

  int fd_;
  std::string name_;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // first byte not yet handed out
  size_t end_ = 0;    // end of the bytes read
  bool at_end_ = false;
};

// A file made empty and written from the start.
class LineWriter {
 public:
  explicit LineWriter(const std::string& path);
  // Without Close() (the run is ending) the file is closed unflushed.
  ~LineWriter();
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // Writes `line` and a line end.
  void Write(std::string_view line);
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

// Makes the content of `from` the content of `to` and removes `from`, by
// renaming where it can and by copying where it cannot.
void MoveOver(const std::string& from, const std::string& to);
