// Small file helpers shared by the catalogue units: they read and write
// working files line by line and end the run on any file failure.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Writes `line` and a line end.
void WriteLine(std::FILE* out, std::string_view line);

// Opens `path` while `open` is already held; on failure closes `open` and
// ends the run with the error text for `path`.
std::FILE* OpenAlsoOrDie(const std::string& path, const char* mode, std::FILE* open);

// Closes a file that was written; a failed close (a write that did not
// reach the disk) ends the run with the error text for `name`.
void CloseOrDie(std::FILE* file, const std::string& name);
