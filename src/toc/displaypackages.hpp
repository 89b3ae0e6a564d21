// The numbered listing of a category's packages.
#pragma once

#include <string>

// Counts the optional packages of the category in `file` and returns the
// count. With show 1 it prints the category title (when there are
// packages); with show 0 the numbered listing, pausing every 14 lines.
int DisplayPackages(const std::string& file, int show);
