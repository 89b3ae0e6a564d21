#include "common/copyfile.hpp"

#include <cerrno>

#include "common/textfile.hpp"

void CopyBytes(const std::string& source, const std::string& target, const char* target_mode) {
  std::FILE* in = OpenOrDie(source, "r");
  std::FILE* out = std::fopen(target.c_str(), target_mode);
  if (!out) {
    int error = errno;
    std::fclose(in);
    errno = error;
    DieFor(target);
  }
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, n, out);
  std::fclose(in);
  std::fclose(out);
}

void CopyFile(const std::string& source, const std::string& target) {
  CopyBytes(source, target, "w");
}
