#include "system/readposition.hpp"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

uint64_t ReadPosition(pid_t pid, const std::string& path, int& fd) {
  std::string base = "/proc/" + std::to_string(pid);
  if (fd < 0) {
    DIR* dir = opendir((base + "/fd").c_str());
    if (!dir) return 0;
    while (dirent* entry = readdir(dir)) {
      char target[4096];
      std::string link = base + "/fd/" + entry->d_name;
      ssize_t got = readlink(link.c_str(), target, sizeof target);
      if (got > 0 && std::string_view(target, static_cast<size_t>(got)) == path) {
        fd = std::atoi(entry->d_name);
        break;
      }
    }
    closedir(dir);
    if (fd < 0) return 0;
  }
  std::FILE* info = std::fopen((base + "/fdinfo/" + std::to_string(fd)).c_str(), "r");
  if (!info) return 0;
  unsigned long long position = 0;
  if (std::fscanf(info, "pos: %llu", &position) != 1) position = 0;
  std::fclose(info);
  return position;
}
