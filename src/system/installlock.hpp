// One installer at a time changes one installation directory, and a
// verification does not look at it while it changes.
#pragma once

#include <string>

enum class LockKind {
  kShared,     // verification: beside other verifications
  kExclusive,  // a load or a removal: alone
};

// Takes an advisory lock of `kind` on the directory open as `dir_fd`
// (named `name`) for the rest of the run. When another installer holds one
// that conflicts, says so on standard error, naming the process that holds
// it and its user when the kernel tells, and waits; an interrupt while
// waiting ends the run as any interrupt does. A directory that cannot be
// locked is no reason to stop: the run goes on without the lock.
void LockInstallation(int dir_fd, const std::string& name, LockKind kind);
