// Opening the directory that holds an entry, from the installation
// directory down, so that what is opened lies beneath it whatever another
// user changes meanwhile: symbolic links on the way are followed only as
// long as they stay beneath it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct Parent {
  enum class Outcome { kOpened, kMissing, kRefused };
  Outcome outcome = Outcome::kRefused;
  int fd = -1;                 // the parent directory, when opened (O_PATH)
  std::string name;            // the entry's last component
  std::string open_to_others;  // a directory on the way that another user can write to
};

// Opens the parent directory of `path` (relative, no "..", trailing '/'
// ignored) beneath the directory open as `root_fd`, whose own path is
// `root_path` (an absolute link through it leads back in). kMissing when a
// directory on the way does not exist (the entry then does not either);
// kRefused when the path is empty, absolute or has "..", when the way leads
// out (through a link, or through too many) or through a mount point, or,
// with
// `refuse_open_to_others`, when the root or a directory on the way can be
// written by a user other than root (its path is then in `open_to_others`).
// The caller closes `fd`.
Parent OpenParentBeneath(int root_fd, const std::string& root_path, std::string_view path,
                         bool refuse_open_to_others);

// The mount points below the directory open as `root_fd`, by absolute path,
// read once for a whole removal; none when the mount table cannot be read.
std::vector<std::string> MountPointsBeneath(int root_fd);

// Whether removing the entry that `parent` names would remove a mount
// point or empty one: the entry is one, or one of `mount_points` (from
// MountPointsBeneath) lies below it. rm's --one-file-system does not tell a
// bind mount of the same file system.
bool ReachesMount(const Parent& parent, const std::vector<std::string>& mount_points);
