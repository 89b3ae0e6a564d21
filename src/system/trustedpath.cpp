#include "system/trustedpath.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// As many links as the kernel follows in one path.
constexpr int kMostLinks = 40;

const char kOthersCanChange[] = "another user can change it";

bool OwnedByUs(const struct stat& st) { return st.st_uid == 0 || st.st_uid == geteuid(); }

// Puts the names of `path` on `names`, the first on top.
void PushNames(std::string_view path, std::vector<std::string>& names) {
  size_t end = path.size();
  while (end > 0) {
    size_t slash = path.rfind('/', end - 1);
    size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    if (end > start) names.emplace_back(path.substr(start, end - start));
    if (slash == std::string_view::npos) break;
    end = slash;
  }
}

std::string Join(const std::string& at, const std::string& name) {
  if (name == "..") {
    size_t slash = at.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : at.substr(0, slash);
  }
  return (at == "/" ? "" : at) + "/" + name;
}

// The target of the link open as `fd` (O_PATH | O_NOFOLLOW).
bool ReadLink(int fd, const struct stat& st, std::string& target) {
  target.assign(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
  ssize_t got = readlinkat(fd, "", target.data(), target.size());
  if (got >= 0 && static_cast<size_t>(got) >= target.size()) errno = ENAMETOOLONG;
  if (got < 0 || static_cast<size_t>(got) >= target.size()) return false;
  target.resize(static_cast<size_t>(got));
  return true;
}

}  // namespace

bool OthersCanChange(const struct stat& st) {
  if (!OwnedByUs(st)) return true;
  if (S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) return false;
  return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

int OpenTrustedPath(const std::string& path, Untrusted& untrusted) {
  std::vector<std::string> names;
  PushNames(path, names);
  std::string at = "/";
  int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  auto fail = [&](const std::string& where, const char* why) {
    if (fd >= 0) close(fd);
    untrusted = {where, why};
    return -1;
  };
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return fail(at, std::strerror(errno));
  if (OthersCanChange(st)) return fail(at, kOthersCanChange);
  int links = 0;
  while (!names.empty()) {
    std::string name = std::move(names.back());
    names.pop_back();
    if (name == ".") continue;
    std::string next_at = Join(at, name);
    int next = openat(fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 || fstat(next, &st) != 0) {
      int error = errno;
      if (next >= 0) close(next);
      return fail(next_at, std::strerror(error));
    }
    if (S_ISLNK(st.st_mode)) {
      std::string target;
      bool ours = OwnedByUs(st);
      bool read = ours && ++links <= kMostLinks && ReadLink(next, st, target);
      int error = links > kMostLinks ? ELOOP : errno;
      close(next);
      if (!ours) return fail(next_at, kOthersCanChange);
      if (!read) return fail(next_at, std::strerror(error));
      // A relative link goes on from the directory that holds it, an
      // absolute one from the root.
      PushNames(target, names);
      if (target.starts_with('/')) {
        close(fd);
        fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        at = "/";
        if (fd < 0) return fail(at, std::strerror(errno));
      }
      continue;
    }
    close(fd);
    fd = next;
    at = std::move(next_at);
    if (OthersCanChange(st)) return fail(at, kOthersCanChange);
  }
  return fd;
}

bool IsTrustedPath(const std::string& path, Untrusted& untrusted) {
  int fd = OpenTrustedPath(path, untrusted);
  if (fd >= 0) close(fd);
  return fd >= 0;
}
