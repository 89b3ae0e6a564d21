// The lines of one category, copied out of the table of contents.
#pragma once

#include <string>

// Copies the lines of category `category` (never the header line) into
// `out` in file order and returns how many it copied; 0 when the category
// has none. Categories stop after 99.
int SelectModule(const std::string& toc, const std::string& out, int category);
