// Who holds a lock on a file, from the kernel's table of locks: for a
// message that tells an operator whom the run waits for.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

struct LockHolder {
  pid_t pid = 0;
  uid_t uid = 0;     // its real user
  std::string user;  // that user's name, or the number
};

// The process holding a lock on the file with status `st` that keeps a
// lock of the kind asked for (`exclusive`, else shared) waiting; nothing
// when the table or the process cannot be read.
std::optional<LockHolder> FindLockHolder(const struct stat& st, bool exclusive);

// The process named in `table` (the text of /proc/locks) as holding a lock
// on device `dev`, inode `ino` that conflicts with the kind asked for.
std::optional<pid_t> HolderInTable(std::string_view table, dev_t dev, ino_t ino, bool exclusive);
