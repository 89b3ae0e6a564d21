// Real tar archives for test distributions.
#pragma once

#include <string>
#include <vector>

// Writes `archive` holding `members` (paths relative to `from_dir`), gzip
// compressed when asked. Member names are kept exactly as given, a leading
// '/' or ".." included. Fails the test when tar fails.
void MakeTarArchive(const std::string& archive, const std::string& from_dir,
                    const std::vector<std::string>& members, bool gzip = false);

// Overwrites `bytes` at `field` of the 512-byte header block at offset
// `header` of `archive` and writes the block's checksum again: a header
// that readers of archives may read differently, as a hostile medium makes
// it. The offsets come from how the test made the archive.
void PatchHeader(const std::string& archive, size_t header, size_t field, const std::string& bytes);

// `data` compressed by gzip.
std::string Gzipped(const std::string& data);
