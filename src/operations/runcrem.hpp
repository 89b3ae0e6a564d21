// Removal: the chosen entries deleted from the installation directory.
#pragma once

#include <string>

#include "operations/installtarget.hpp"

// Deletes the entries of `pak` from the installation directory `target`
// (never those of required packages, never anything outside it);
// list_files 1 reports each.
void RunREM(const std::string& pak, int list_files, const InstallTarget& target);
