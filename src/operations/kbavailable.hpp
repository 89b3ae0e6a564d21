#pragma once

#include <string>

// Free kilobytes of the file system holding `dir` (all free blocks for
// root, the unprivileged ones otherwise).
unsigned long long KBAvailable(const std::string& dir);
