#include "system/mounts.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

constexpr int kLookFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr unsigned int kMask = STATX_BASIC_STATS | STATX_MNT_ID;

bool Statx(int dir_fd, const std::string& name, unsigned int mask, struct statx& st) {
  int flags = kLookFlags | (name.empty() ? AT_EMPTY_PATH : 0);
  return statx(dir_fd, name.c_str(), flags, mask, &st) == 0;
}

bool Octal(char c) { return c >= '0' && c <= '7'; }

// Whether what has the status `entry` is the root of a mount: the kernel
// says so itself (5.8 and later); else it lies on another mount than the
// directory open as `holder_fd`, when the kernel gives mount ids, or on
// another device.
bool MountRoot(const struct statx& entry, int holder_fd) {
  if (entry.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) {
    return (entry.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  }
  struct statx holder;
  if (!Statx(holder_fd, "", kMask, holder)) return true;
  if ((entry.stx_mask & STATX_MNT_ID) && (holder.stx_mask & STATX_MNT_ID)) {
    return entry.stx_mnt_id != holder.stx_mnt_id;
  }
  return entry.stx_dev_major != holder.stx_dev_major || entry.stx_dev_minor != holder.stx_dev_minor;
}

// The mount point in one line of the mount table (its fifth field, with
// the table's octal escapes undone); empty for a line that has none.
std::string MountPointOfLine(const std::string& line) {
  // "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw"
  std::istringstream fields(line);
  std::string field;
  for (int i = 0; i < 5; ++i) {
    if (!(fields >> field)) return "";
  }
  std::string point;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && Octal(field[i + 1]) && Octal(field[i + 2]) &&
        Octal(field[i + 3])) {
      point += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                 (field[i + 3] - '0'));
      i += 3;
    } else {
      point += field[i];
    }
  }
  return point;
}

}  // namespace

bool IsMountPoint(int dir_fd, const std::string& name) {
  struct statx entry;
  return !Statx(dir_fd, name, kMask, entry) || MountRoot(entry, dir_fd);
}

bool IsMountRoot(int fd, int parent_fd) {
  struct statx entry;
  return !Statx(fd, "", kMask, entry) || MountRoot(entry, parent_fd);
}

std::optional<std::string> PathOfDescriptor(int fd) {
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  char path[PATH_MAX + 1];
  ssize_t got = readlink(link.c_str(), path, PATH_MAX);
  if (got <= 0 || path[0] != '/') return std::nullopt;
  return std::string(path, static_cast<size_t>(got));
}

std::optional<std::vector<std::string>> MountPointsBelow(const std::string& dir) {
  std::ifstream table("/proc/self/mountinfo");
  if (!table) return std::nullopt;
  std::string prefix = dir == "/" ? "/" : dir + "/";
  std::vector<std::string> below;
  std::string line;
  while (std::getline(table, line)) {
    std::string point = MountPointOfLine(line);
    if (point.size() > prefix.size() && point.starts_with(prefix)) below.push_back(point);
  }
  return below;
}
