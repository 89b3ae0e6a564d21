// Paths that no user but root and the running one can change: where the
// run makes its working directory, writes a receipt, or reads a table of
// contents named on the command line by path again and again.
#pragma once

#include <sys/stat.h>

#include <string>

// Whether a user other than root and the running one could change what the
// file or directory with status `st` holds: its owner is such a user, or
// others or its group can write to it, unless it is a sticky directory
// (where each may rename or replace only what is their own).
bool OthersCanChange(const struct stat& st);

// Where and why a path is not one only root and the running user decide.
struct Untrusted {
  std::string where;  // the path up to the name that failed
  std::string why;    // the system's text, or that another user can change it
};

// Opens `path` (absolute) with O_PATH, one name at a time from the root, so
// that no other user can have decided what it names: the root, every
// directory on the way and what the path ends at pass OthersCanChange, and
// a symbolic link is followed only when it belongs to root or the running
// user (the directory holding it passed already). The descriptor is
// close-on-exec; -1 with `untrusted` filled in otherwise.
int OpenTrustedPath(const std::string& path, Untrusted& untrusted);

// The same walk, for a path that is only judged, not used.
bool IsTrustedPath(const std::string& path, Untrusted& untrusted);
