#include "common/mappedfile.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/helddirectory.hpp"
#include "common/textfile.hpp"

namespace {

constexpr off_t kMostMapped = 8 << 20;

}  // namespace

MappedFile::MappedFile(const std::string& path, bool writable)
    : fd_(OpenPath(path, writable ? O_RDWR : O_RDONLY)) {
  if (fd_ < 0) DieFor(path);
  struct stat st;
  if (fstat(fd_, &st) != 0) DieFor(path);
  // A mapped page counts as the program's memory: a larger file takes the
  // plain path, which streams it.
  if (!S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size > kMostMapped) return;
  int protection = PROT_READ | (writable ? PROT_WRITE : 0);
  void* at =
      mmap(nullptr, static_cast<size_t>(st.st_size), protection, MAP_SHARED | MAP_POPULATE, fd_, 0);
  if (at == MAP_FAILED) return;
  data_ = static_cast<char*>(at);
  size_ = static_cast<size_t>(st.st_size);
}

MappedFile::~MappedFile() {
  if (data_) munmap(data_, size_);
  close(fd_);
}
