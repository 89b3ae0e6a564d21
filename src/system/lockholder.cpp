#include "system/lockholder.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <vector>

namespace {

// The whole of a file under /proc (whose size stat does not tell).
std::optional<std::string> ReadProcFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char block[4096];
  ssize_t got;
  while ((got = read(fd, block, sizeof block)) > 0) text.append(block, static_cast<size_t>(got));
  close(fd);
  if (got < 0) return std::nullopt;
  return text;
}

// The real user id in a /proc/PID/status text.
std::optional<uid_t> RealUid(const std::string& status) {
  std::istringstream lines(status);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.starts_with("Uid:")) continue;
    unsigned long uid;
    if (std::sscanf(line.c_str() + 4, "%lu", &uid) != 1) return std::nullopt;
    return static_cast<uid_t>(uid);
  }
  return std::nullopt;
}

std::string UserName(uid_t uid) {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  struct passwd entry, *found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

}  // namespace

std::optional<pid_t> HolderInTable(std::string_view table, dev_t dev, ino_t ino, bool exclusive) {
  std::istringstream lines{std::string(table)};
  std::string line;
  while (std::getline(lines, line)) {
    // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a line with "->"
    // is a process waiting, not one holding.
    std::istringstream fields(line);
    std::string number, type, advice, access, where;
    long pid;
    if (!(fields >> number >> type) || type == "->") continue;
    if (!(fields >> advice >> access >> pid >> where)) continue;
    unsigned int major_number, minor_number;
    unsigned long long inode;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major_number, &minor_number, &inode) != 3) {
      continue;
    }
    if (makedev(major_number, minor_number) != dev || inode != ino || pid <= 0) continue;
    if (exclusive || access == "WRITE") return static_cast<pid_t>(pid);
  }
  return std::nullopt;
}

std::optional<LockHolder> FindLockHolder(const struct stat& st, bool exclusive) {
  std::optional<std::string> table = ReadProcFile("/proc/locks");
  if (!table) return std::nullopt;
  std::optional<pid_t> pid = HolderInTable(*table, st.st_dev, st.st_ino, exclusive);
  if (!pid) return std::nullopt;
  std::optional<std::string> status = ReadProcFile("/proc/" + std::to_string(*pid) + "/status");
  std::optional<uid_t> uid = status ? RealUid(*status) : std::nullopt;
  if (!uid) return std::nullopt;
  return LockHolder{*pid, *uid, UserName(*uid)};
}
