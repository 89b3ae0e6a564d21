#include "system/notice.hpp"

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
