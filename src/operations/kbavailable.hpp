// Free space of the file system that holds a directory.
#pragma once

#include <string>

// Free kilobytes of the file system holding the directory open as `dir_fd`
// (named `name`): all free blocks for root, the unprivileged ones
// otherwise. A file system that cannot be examined ends the run (perror
// form, status 1).
unsigned long long KBAvailable(int dir_fd, const std::string& name);
