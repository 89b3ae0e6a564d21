#include "support/tempdir.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/insttestXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave directories without write or search permission.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored) && it->is_directory(ignored)) {
      chmod(it->path().c_str(), 0755);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

std::vector<std::string> ListingOrder(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* handle = opendir(dir.c_str())) {
    while (dirent* entry = readdir(handle)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(handle);
  }
  return names;
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names = ListingOrder(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> Snapshot(const std::string& root, bool modes) {
  std::map<std::string, std::string> entries;
  namespace fs = std::filesystem;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
    // fs::relative would follow a link to what it names.
    std::string path = e.path().lexically_relative(root).string();
    if (e.is_symlink()) {
      entries[path] = "L:" + fs::read_symlink(e.path()).string();
    } else if (e.is_directory()) {
      entries[path] = "D";
    } else {
      struct stat st;
      stat(e.path().c_str(), &st);
      entries[path] = std::string((st.st_mode & S_IXUSR) ? "Fx:" : "F:") + ReadFile(e.path());
    }
    struct stat st;
    if (modes && !e.is_symlink() && stat(e.path().c_str(), &st) == 0) {
      char mode[8];
      std::snprintf(mode, sizeof mode, " %o", st.st_mode & 07777);
      entries[path] += mode;
    }
  }
  return entries;
}
