// Real tar archives for test distributions.
#pragma once

#include <string>
#include <vector>

// Writes `archive` holding `members` (paths relative to `from_dir`), gzip
// compressed when asked. Member names are kept exactly as given, a leading
// '/' or ".." included. Fails the test when tar fails.
void MakeTarArchive(const std::string& archive, const std::string& from_dir,
                    const std::vector<std::string>& members, bool gzip = false);
