// Copying bytes from file to file: inside the kernel where it can, through a
// buffer where it cannot, and ending the run when a read or a write fails.
#pragma once

#include <cstdint>
#include <string>

// Makes `target` a copy of `source`.
void CopyFile(const std::string& source, const std::string& target);

// Copies `size` bytes from offset `offset` of the file open as `in` (named
// `in_name`) to the current position of `out` (named `out_name`). A file
// that ends before gives the error of a failed read.
void CopyRange(int in, uint64_t offset, uint64_t size, int out, const std::string& in_name,
               const std::string& out_name);

// Makes the content of `from` the content of `to` and removes `from`, by
// renaming where it can and by copying where it cannot.
void MoveOver(const std::string& from, const std::string& to);

// Copies all of `source` to `target`, which is emptied first, or appended to
// when `append`; both are opened and closed here.
void CopyWholeFile(const std::string& source, const std::string& target, bool append);
