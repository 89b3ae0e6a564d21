// The entries of the staging tree that one manifest path stands for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StagingEntry {
  std::string path;  // relative to the staging directory
  bool directory = false;
  uint64_t size = 0;  // 0 for a directory
};

// Appends the entries that `path` (relative to `staging`) stands for: a file
// or symbolic link stands for itself, a directory for itself followed by
// everything below it, each directory before its contents and the names of
// one directory in byte order. Returns what could not be taken, one text
// per problem (the rest of the tree is still walked).
std::vector<std::string> ExpandPath(const std::string& staging, const std::string& path,
                                    std::vector<StagingEntry>& out);
