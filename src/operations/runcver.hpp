#pragma once

#include <string>

// Lists and counts the entries of `pak` missing from the current directory,
// under the category and package headings. With `check_sizes` it also lists
// and counts the files ('F' entries that are regular files, not links)
// whose size differs from the size their line gives.
void RunVER(const std::string& dist, const std::string& toc, const std::string& pak,
            bool check_sizes = false);
