// How far another process has read a file, for a progress line that costs
// the reading nothing.
#pragma once

#include <sys/types.h>

#include <cstdint>

// The position of process `pid` in its own opening of the file that is
// open here as `fd` (the same file, opened again: not a descriptor it
// shares with the installer), from /proc. `found` remembers which
// descriptor of `pid` that is: -1 until it is found. 0 when it cannot be
// told.
uint64_t ReadPosition(pid_t pid, int fd, int& found);
