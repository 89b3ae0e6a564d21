// Small file helpers shared by the catalogue units: they read and write
// working files line by line and end the run on any file failure.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Reads the lines of an open file, each of any length, without its line
// end. A line stays valid until the next call. Reads in large blocks and
// copies nothing per line: the walk over the categories passes every line
// of the table of contents through here several times.
class LineReader {
 public:
  LineReader(std::FILE* file, std::string name);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False at the end of the file.
  bool Next(std::string_view& line);

 private:
  bool Fill();

  int fd_;
  std::string name_;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // first byte not yet handed out
  size_t end_ = 0;    // end of the bytes read
  bool at_end_ = false;
};

// Opens `path` for writing with a large buffer. When that fails, closes
// `open` (a file the caller already holds, or null) and ends the run with
// the error text for `path`.
std::FILE* CreateOrDie(const std::string& path, std::FILE* open = nullptr);

// Writes `line` and a line end.
void WriteLine(std::FILE* out, std::string_view line);

// Closes a file that was written; a failed close (a write that did not
// reach the disk) ends the run with the error text for `name`.
void CloseOrDie(std::FILE* file, const std::string& name);

// Makes the content of `from` the content of `to` and removes `from`, by
// renaming where it can and by copying where it cannot.
void MoveOver(const std::string& from, const std::string& to);
