// A dry run of a removal by the table of contents (ZULDRYRUN): the lines a
// removal that lists file names would print, and nothing removed.
#pragma once

#include <string>

#include "operations/installtarget.hpp"

// For each chosen line of `pak` but those of required packages: the
// "Deleted:" line of an entry that is there now, or the warning the
// removal would give (one below a directory it would remove is gone by its
// turn, as rm takes it with the directory).
void DryRemoval(const std::string& pak, const InstallTarget& target);
