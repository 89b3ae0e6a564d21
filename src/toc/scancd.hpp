// Finding the products of a medium that has no table of contents at its top.
#pragma once

#include <string>
#include <vector>

#include "common/medium.hpp"
#include "session/mode.hpp"

// Product directories found by the walk, in the order found.
extern std::vector<std::string> NameDir;
// The variant index of each product directory in NameDir (each product keeps
// its own name form).
extern std::vector<int> NameDirVariant;
// During the walk the index of the last product found; afterwards the count.
extern int NumSel;
// The variant index of the product found last.
extern int real_jj;

// Walks `dir` and every directory below it depth-first, in listing order;
// `status` becomes 0, or -2 when a directory cannot be opened.
void walk_cd(const char* const names[kNameForms], const std::string& dir, int& status);

// Offers the products below `mount` in a menu. `result` receives the chosen
// product directory, "^" for a step back, or "" when none was found or the
// walk failed; `index` the chosen product's variant index.
void ScanCD(Mode mode, const char* const names[kNameForms], int& index, const std::string& mount,
            std::string& result);
