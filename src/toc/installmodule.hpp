// The package question of one category.
#pragma once

#include <string>

#include "session/mode.hpp"
#include "toc/markpackages.hpp"

// Asks the package question of the category in `file` (MOD, `count` lines)
// until it gets a usable answer, writing `work` on the way. 0: `file` holds
// the chosen lines; 1: the operator stepped back.
int InstallModule(const std::string& file, Mode mode, int count, const CategoryWorkFiles& work);
