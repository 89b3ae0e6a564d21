// Free space of the file system that holds a directory.
#pragma once

#include <string>

// Free kilobytes of the file system holding `dir` (all free blocks for
// root, the unprivileged ones otherwise).
unsigned long long KBAvailable(const std::string& dir);

// The same for the directory open as `dir_fd`.
unsigned long long KBAvailable(int dir_fd, const std::string& name);
