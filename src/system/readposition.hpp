// How far another process has read a file, for a progress line that costs
// the reading nothing.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// The position of the descriptor of process `pid` for the file `path`,
// from /proc. `fd` remembers which descriptor that is: -1 until it is
// found. 0 when it cannot be told.
uint64_t ReadPosition(pid_t pid, const std::string& path, int& fd);
