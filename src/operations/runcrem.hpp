// Removal: the chosen entries deleted from the installation directory.
#pragma once

#include <string>

#include "common/settings.hpp"
#include "operations/installtarget.hpp"
#include "operations/listfiles.hpp"

// Deletes the entries of `pak` from the installation directory `target`
// (never those of required packages, never anything outside it); each is
// reported only for ListFiles::kYes, warnings always. With `record` (a
// receipt whose load was recorded beside it), exactly what that load wrote
// and nothing changed since (see RemoveRecorded).
enum class RemovalEnd {
  kDone,
  kKept,        // something was kept, changed since the recorded load
  kNotStarted,  // rm could not be started: said, and the removal stopped there
};
RemovalEnd RunREM(const std::string& pak, ListFiles list_files, const InstallTarget& target,
                  const Settings& settings, const std::string& record = "");
