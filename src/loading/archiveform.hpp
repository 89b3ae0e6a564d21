// Whether an archive's bytes are of the form its name gives: tar must never
// decompress on its own (it would start a program of its choosing), so a
// plain archive must not hold data that tar would recognise as compressed,
// and a compressed one must be gzip data for gunzip.
#pragma once

#include <string>

// Why the archive open as `fd` is not of the form its name gives
// (`compressed`: gzip); empty when it is. Reads the first bytes with pread,
// leaving the descriptor's position alone.
std::string ArchiveFormMismatch(int fd, bool compressed);
