// Where things stand in one version of a table of contents, noted in one
// pass. The walk over the categories asks for every category in turn and
// the summary for every category's title; the file is only ever read, so
// one pass spares a pass over the whole file for each of them.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

#include "common/tocformat.hpp"

// A stretch of consecutive lines of one category in the file: `bytes` bytes
// from `begin`, `lines` whole lines (the last line of the file may lack its
// line end). 16 bytes, so that even a file whose categories alternate line
// by line keeps its index small.
struct TocRun {
  uint64_t begin;
  uint32_t bytes;
  uint32_t lines;
};

struct TocIndex {
  // The version of the file noted; a changed or replaced file is read again.
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  bool ends_without_line_end = false;
  // The lines after the header line by category number (1 to 99). A deque:
  // no doubling copies while a large, interleaved file is noted.
  std::array<std::deque<TocRun>, kLastCategory + 1> runs;
  // The offset of the first title line ('*' in column 3) of every category
  // code, by TitleKey, the header line included.
  std::unordered_map<uint16_t, uint64_t> first_title;
};

uint16_t TitleKey(char first, char second);

// The index of the regular file open as `fd` (named `name`), whose status
// is `st`: the one noted before when the file is unchanged, else noted now.
// A file that cannot be read ends the run.
const TocIndex& IndexOfToc(int fd, const struct stat& st, const std::string& name);
