// Writes the lines of a table of contents with every field in its columns:
// category code 0-1, entry type 3, package class 5, description 7-60,
// archive code 65-66, size 68-79 (right-aligned), entry path from 80.
#pragma once

#include <cstdint>
#include <string>

// The largest size that fits the 12 columns of the size field.
constexpr uint64_t kMaxEntrySize = 999'999'999'999ULL;

// The first line: three blanks, then the heading.
std::string TocHeader(const std::string& heading);

// A category title line: '*' in column 3, 'A' (all) or 'N' (none) in
// column 5, the title from column 7.
std::string TocTitle(int category, bool default_all, const std::string& title);

// A package line for one entry: type 'D' or 'F', class 'O', 'R' or '*'.
std::string TocEntry(int category, char type, char package_class, const std::string& description,
                     const std::string& archive_code, uint64_t size, const std::string& path);
