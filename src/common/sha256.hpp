// SHA-256 of a file, in the form sha256sum writes: 64 lowercase hex digits.
#pragma once

#include <string>

// The SHA-256 of everything in the file open as `fd`, read from its start
// (the descriptor's offset is left alone), or of its first `size` bytes
// when `size` is not negative (a file's size, known: no read to find its
// end). False, errno set, when it cannot be read.
bool Sha256OfFile(int fd, std::string& hex, long long size = -1);
