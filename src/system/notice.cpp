#include "system/notice.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/visibletext.hpp"
#include "system/progressline.hpp"

void Notice(std::string_view before, std::string_view name, std::string_view after) {
  ProgressLine::HideCurrent();
  std::fflush(stdout);
  std::fwrite(before.data(), 1, before.size(), stderr);
  PutVisible(name, stderr);
  std::fwrite(after.data(), 1, after.size(), stderr);
  std::fputc('\n', stderr);
}

void NoticeError(std::string_view name, int error) {
  Notice("", name, std::string(": ") + std::strerror(error));
}

void ReplaySaid(int said) {
  if (said < 0 || lseek(said, 0, SEEK_SET) != 0) return;
  ProgressLine::HideCurrent();
  std::fflush(stdout);
  char buffer[4096];
  ssize_t got;
  while ((got = read(said, buffer, sizeof buffer)) > 0) {
    std::fwrite(buffer, 1, static_cast<size_t>(got), stderr);
  }
}
