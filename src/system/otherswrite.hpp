// Who besides root and the running user can change a file or directory: the
// test that decides, for a run without the private root, which archives and
// directories are refused, and which program folders are not used.
#pragma once

#include <sys/stat.h>

#include <string>

// Whether a user other than root and the one running can write into what
// has status `st` (as its owner, through its group, or as anyone).
bool OthersCanWrite(const struct stat& st);

// Whether a user other than root and the running one can make the absolute
// `path` name something else: a directory above it is theirs or open to
// them (a sticky one only where what it holds on the way is theirs), or
// the path does not resolve.
bool PathChangeableByOthers(const std::string& path);
