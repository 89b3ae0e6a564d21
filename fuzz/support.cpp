#include "support.hpp"

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "messages/catalogue.hpp"
#include "messages/print.hpp"

namespace {

std::string directory;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  std::remove(path);
  return 0;
}

void RemoveDirectory() {
  if (!directory.empty()) nftw(directory.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

const std::string& FuzzDirectory() {
  if (directory.empty()) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/fuzzXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) Finding("mkdtemp");
    directory = name.data();
    setenv("TMPDIR", directory.c_str(), 1);
    std::atexit(RemoveDirectory);
  }
  return directory;
}

void QuietStandardOutput() {
  std::fflush(stdout);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  close(null);
}

void FeedStandardInput(std::string_view text) {
  std::string path = FuzzDirectory() + "/stdin";
  WriteBytes(path, text);
  if (!std::freopen(path.c_str(), "r", stdin)) Finding("freopen");
}

void UseEnglishMessages() {
  std::string en = "en";
  LoadMessages(en, ".", "C");
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(std::string_view bytes) {
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    size_t end = bytes.find('\n');
    lines.emplace_back(bytes.substr(0, end));
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return SplitLines(text.str());
}

void Finding(const char* what) {
  std::fprintf(stderr, "finding: %s\n", what);
  std::abort();
}

std::string_view NextPart(std::string_view& rest) {
  size_t end = rest.find('\0');
  std::string_view part = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return part;
}
