// The members of a tar archive as tar will see them, read before tar runs so
// that the installer knows what an extraction would make.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ArchiveMember {
  enum class Type { kFile, kDirectory, kSymlink, kHardlink, kSpecial };
  std::string name;  // as stored in the archive
  Type type = Type::kFile;
  std::string link;  // the target of a symbolic or hard link
  mode_t mode = 0;   // permission and set-ID bits
};

// The members of the archive open as `fd` (named `name`), plain or
// compressed, in archive order. False, with `error` saying why, when the
// archive cannot be read to its end.
bool ReadArchiveMembers(int fd, std::vector<ArchiveMember>& members, std::string& error);
