// Who besides root can change a directory: the test that decides, for a run
// as root without the kernel's confinement, which directories are refused.
#pragma once

#include <sys/stat.h>

// Whether a user other than root can write into the directory with status
// `st` (as its owner, through its group, or as anyone).
bool OthersCanWrite(const struct stat& st);
