#include "support/stdio_capture.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/tempdir.hpp"

namespace {
std::string MakeTemp() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/capXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  close(fd);
  return name.data();
}
}  // namespace

StdioCapture::StdioCapture(const std::string& input) {
  std::fflush(stdout);
  out_path_ = MakeTemp();
  in_path_ = MakeTemp();
  WriteFile(in_path_, input);
  saved_out_ = dup(1);
  saved_in_ = dup(0);
  int out = open(out_path_.c_str(), O_WRONLY | O_TRUNC);
  dup2(out, 1);
  close(out);
  // Forget what stdin buffered before: otherwise the seek below may land
  // inside that old buffer and a second capture reads the first one's input.
  std::fflush(stdin);
  int in = open(in_path_.c_str(), O_RDONLY);
  dup2(in, 0);
  close(in);
  clearerr(stdin);
  std::fseek(stdin, 0, SEEK_SET);
}

StdioCapture::~StdioCapture() {
  std::fflush(stdout);
  dup2(saved_out_, 1);
  close(saved_out_);
  dup2(saved_in_, 0);
  close(saved_in_);
  clearerr(stdin);
  unlink(out_path_.c_str());
  unlink(in_path_.c_str());
}

std::string StdioCapture::Output() {
  std::fflush(stdout);
  return ReadFile(out_path_);
}
