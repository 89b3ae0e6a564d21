// One installer at a time in one installation directory.
#pragma once

#include <string>

// Takes an advisory lock on the directory open as `dir_fd` (named `name`)
// for the rest of the run. When another installer holds it, says so on
// standard error and waits; an interrupt while waiting ends the run as any
// interrupt does. A directory that cannot be locked is no reason to stop:
// the run goes on without the lock.
void LockInstallation(int dir_fd, const std::string& name);
