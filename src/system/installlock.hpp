// One installer at a time changes one installation directory, and a
// verification does not look at it while it changes.
#pragma once

#include <chrono>
#include <string>

enum class LockKind {
  kShared,     // verification: beside other verifications
  kExclusive,  // a load or a removal: alone
};

// How long a run waits for a lock that a user other than root, the
// directory's owner and the running one holds (or whose holder the kernel
// does not tell): anyone who can read a directory can lock it.
inline constexpr std::chrono::seconds kStrangerWait{5};

// Takes an advisory lock of `kind` on the directory open as `dir_fd`
// (named `name`) for the rest of the run. When another installer holds one
// that conflicts, says so on standard error, naming the process that holds
// it and its user when the kernel tells, and waits: as long as root, the
// directory's owner or the running user holds it, and kStrangerWait for
// anyone else, after which a line says whom and what to do and the run
// ends with status 1. An interrupt while waiting ends the run as any
// interrupt does. A directory that cannot be locked is no reason to stop:
// the run goes on without the lock.
void LockInstallation(int dir_fd, const std::string& name, LockKind kind);
