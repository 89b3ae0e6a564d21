// A working file mapped into memory, for the passes of the category walk
// that only look at a category's lines or patch single bytes of them: they
// scan the file in place instead of copying it through a buffer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class MappedFile {
 public:
  // Maps `path` for reading, or for reading and writing when `writable`.
  // An empty file, one over 8 MB, or one that cannot be mapped gives an
  // empty view (the caller then takes its plain path); a file that cannot
  // be opened ends the run.
  MappedFile(const std::string& path, bool writable);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool mapped() const { return data_ != nullptr; }
  char* data() { return data_; }
  size_t size() const { return size_; }
  int fd() const { return fd_; }
  // The mapped bytes, to be read line by line with LineAt().
  std::string_view text() const { return std::string_view(data_, size_); }

 private:
  int fd_;
  char* data_ = nullptr;
  size_t size_ = 0;
};
