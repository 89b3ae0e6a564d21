// Who besides root and the running user can change a file or directory: the
// test that decides, for a run without the private root, which archives and
// directories are refused, and which program folders are not used.
#pragma once

#include <sys/stat.h>

// Whether a user other than root and the one running can write into what
// has status `st` (as its owner, through its group, or as anyone).
bool OthersCanWrite(const struct stat& st);
