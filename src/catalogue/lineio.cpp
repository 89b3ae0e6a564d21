#include "catalogue/lineio.hpp"

#include <cerrno>

#include "common/textfile.hpp"

void WriteLine(std::FILE* out, std::string_view line) {
  fwrite_unlocked(line.data(), 1, line.size(), out);
  putc_unlocked('\n', out);
}

std::FILE* OpenAlsoOrDie(const std::string& path, const char* mode, std::FILE* open) {
  std::FILE* file = std::fopen(path.c_str(), mode);
  if (!file) {
    int error = errno;
    std::fclose(open);
    errno = error;
    DieFor(path);
  }
  return file;
}

void CloseOrDie(std::FILE* file, const std::string& name) {
  bool failed = std::ferror(file) != 0;
  if (std::fclose(file) != 0) failed = true;
  if (failed) {
    if (errno == 0) errno = EIO;
    DieFor(name);
  }
}
