// Writes table-of-contents lines with every field in its exact columns.
#pragma once

#include <string>

// The header line: three columns not read, then the heading.
std::string HeaderLine(const std::string& heading);

// A category title line: code, '*' in column 3, default 'A' (all) or 'N'
// in column 5, the title from column 7.
std::string TitleLine(int category, const std::string& title, bool default_all);

// A package line: entry type 'F' or 'D', package class 'O', 'R' or '*',
// description (padded to 54 columns), archive code, size, entry path.
std::string PackageLine(int category, char type, char package_class,
                        const std::string& description, const std::string& archive,
                        long long size, const std::string& path);
