#include "system/readposition.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The descriptor of `pid` other than its standard input that names the
// file `file`; -1 when there is none (yet).
int FindOpening(const std::string& base, const struct stat& file) {
  DIR* dir = opendir((base + "/fd").c_str());
  if (!dir) return -1;
  int found = -1;
  while (dirent* entry = readdir(dir)) {
    int number = std::atoi(entry->d_name);
    struct stat st;
    if (number <= 0 || stat((base + "/fd/" + entry->d_name).c_str(), &st) != 0) continue;
    if (st.st_dev == file.st_dev && st.st_ino == file.st_ino) {
      found = number;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

uint64_t ReadPosition(pid_t pid, int fd, int& found) {
  std::string base = "/proc/" + std::to_string(pid);
  if (found < 0) {
    struct stat file;
    if (fstat(fd, &file) != 0) return 0;
    found = FindOpening(base, file);
    if (found < 0) return 0;
  }
  std::FILE* info = std::fopen((base + "/fdinfo/" + std::to_string(found)).c_str(), "r");
  if (!info) return 0;
  unsigned long long position = 0;
  if (std::fscanf(info, "pos: %llu", &position) != 1) position = 0;
  std::fclose(info);
  return position;
}
