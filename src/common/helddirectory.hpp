// A directory the run made for itself and holds open. The file functions of
// this folder reach a name directly in it through the held descriptor, never
// through the directory's path: once it is made, whoever renames it away or
// puts another directory at its path changes nothing for the run, and the
// callers keep naming its files by their full paths.
#pragma once

#include <string>

// Where a path is opened: a directory descriptor and a name relative to it
// (AT_FDCWD and the path itself for a path outside the held directory).
// `name` points into the path it was made from.
struct PathAt {
  int dir;
  const char* name;
  int no_follow;  // O_NOFOLLOW for a name in the held directory, else 0
};

// From now on paths directly in `path` (absolute, without a trailing slash)
// are opened through `fd`, a descriptor of that directory that stays the
// caller's.
void HoldDirectory(int fd, const std::string& path);

// Paths in the directory are opened by path again.
void ReleaseHeldDirectory();

// `path` as the held directory's descriptor and a name in it when it lies
// directly in it; else as itself.
PathAt At(const std::string& path);

// open(2), rename(2) and unlink(2) of paths given as above. Every opened
// descriptor is close-on-exec.
int OpenPath(const std::string& path, int flags, int mode = 0666);
int RenamePath(const std::string& from, const std::string& to);
int UnlinkPath(const std::string& path);
