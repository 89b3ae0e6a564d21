#include "stagingtree.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Names that a table-of-contents entry path cannot carry.
bool BadName(const std::string& name) {
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == ' ' || u < 0x20 || u == 0x7f) return true;
  }
  return false;
}

// The names in a directory, sorted, or an error text.
std::vector<std::string> SortedNames(const std::string& dir, std::string& error) {
  std::vector<std::string> names;
  DIR* handle = opendir(dir.c_str());
  if (!handle) {
    error = std::strerror(errno);
    return names;
  }
  while (dirent* entry = readdir(handle)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.push_back(entry->d_name);
    }
  }
  closedir(handle);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> ExpandPath(const std::string& staging, const std::string& path,
                                    std::vector<StagingEntry>& out) {
  std::vector<std::string> problems;
  // Depth first without recursion: a deep tree must not exhaust the stack.
  std::vector<std::string> pending{path};
  while (!pending.empty()) {
    std::string relative = std::move(pending.back());
    pending.pop_back();
    std::string full = staging + "/" + relative;
    struct stat info;
    if (lstat(full.c_str(), &info) != 0) {
      problems.push_back(relative == path && (errno == ENOENT || errno == ENOTDIR)
                             ? "\"" + relative + "\" is not in the staging tree"
                             : "\"" + relative + "\": " + std::strerror(errno));
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      out.push_back({relative, true, 0});
      std::string error;
      std::vector<std::string> names = SortedNames(full, error);
      if (!error.empty()) problems.push_back("\"" + relative + "\": " + error);
      for (const std::string& name : names) {
        if (BadName(name)) {
          problems.push_back("\"" + relative + "/" + name +
                             "\" has a blank, tab or control character in its name");
        }
      }
      // Pushed last to first, so that the first name comes off the stack first.
      for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (!BadName(*name)) pending.push_back(relative + "/" + *name);
      }
    } else if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
      out.push_back({relative, false, static_cast<uint64_t>(info.st_size)});
    } else {
      problems.push_back("\"" + relative + "\" is not a file, directory or symbolic link");
    }
  }
  return problems;
}
