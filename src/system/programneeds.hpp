// What the children of an operation need and the system may lack, looked at
// once the operation is chosen and before it begins: a load or removal
// that would stop half-way for a missing program says so before it writes.
#pragma once

#include <string>
#include <vector>

#include "system/programs.hpp"

struct Needs {
  bool tar = false;
  bool rm = false;
  // tar reads an archive as /dev/fd/0 and no private root makes one: the
  // system's own must be there.
  bool dev_fd = false;
};

// One line for each need of `needs` (and of gunzip, where `programs` has
// one) that cannot be met, naming what is missing and how to mend it; empty
// when nothing is missing.
std::vector<std::string> LackedNeeds(const Programs& programs, const Needs& needs);
