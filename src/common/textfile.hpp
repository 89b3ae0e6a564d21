// Failing file operations, and the files a medium may hold.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

// Prints the system's error text after `name` on standard error and ends
// the run with status 1.
[[noreturn]] void DieFor(const std::string& name);

// True when `path` names a regular file that opens for reading. Never
// waits: a fifo or a device under a name that is looked for on a medium is
// not taken (it would hold the run up, or never end).
bool IsReadableFile(const std::string& path);

// Opens `path` for reading when it is a regular file, without waiting on a
// fifo or a device. -1 when it cannot be opened (errno tells why) or is not
// a regular file (errno 0).
int OpenRegularFile(const std::string& path);

// Opens `path` for appending, made with `mode` when it does not exist:
// only a regular file, never through a symbolic link another user may have
// put under the name, never waiting on a fifo or a device. -1 when it cannot
// be opened (errno tells why) or is no regular file (errno 0).
int OpenForAppending(const std::string& path, mode_t mode);

// The whole of the regular file `path` into `text`, when it holds at most
// `most` bytes (no bound when negative). False when it cannot be read:
// errno tells why, 0 for a file that is not regular or holds more.
bool ReadWholeFile(const std::string& path, std::string& text, long long most = -1);

// Removes `path`; a file that does not exist is no error. Any other failure
// is reported for the name and ends the run with status 1.
void RemoveOrDie(const std::string& path);
