// Mount points, for a removal that must never enter or remove one: a bind
// mount from the same file system has the same device number, so only the
// kernel's own word tells it apart.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Whether `name` in the directory open as `dir_fd` is the root of a mount.
// A name that cannot be looked at counts as one.
bool IsMountPoint(int dir_fd, const std::string& name);

// The same for the directory open as `fd`, reached from `parent_fd`.
bool IsMountRoot(int fd, int parent_fd);

// The absolute path of what is open as `fd`, as the mount table names it;
// nothing when the kernel does not tell.
std::optional<std::string> PathOfDescriptor(int fd);

// The mount points strictly below the absolute path `dir`, from the mount
// table; nothing when the table cannot be read.
std::optional<std::vector<std::string>> MountPointsBelow(const std::string& dir);
