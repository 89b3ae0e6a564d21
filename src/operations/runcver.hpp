// Verification: the chosen entries looked for in the installation directory.
#pragma once

#include <string>

#include "common/settings.hpp"
#include "operations/installtarget.hpp"

// What a verification found.
struct VerifyCounts {
  long long missing_files = 0;
  long long missing_directories = 0;
  long long different_sizes = 0;
  long long different_contents = 0;
  bool complete = true;  // false when the operator ended the report at a pause
};

// Lists and counts the entries of `pak` missing from the installation
// directory `target`, under the category and package headings. With
// ZULVERIFY=size in `settings` it also lists and counts the files ('F'
// entries that are regular files, not links) whose size differs from the
// size their line gives. With ZULVERIFY=content it also lists and counts the
// files whose SHA-256 differs from the one the receipt's record (`toc`.sums,
// see LoadRecord) gives, for every chosen entry and every recorded file
// below a chosen directory; a record that cannot be read, or that another
// user could have changed, ends the run (status 1) with a line on standard
// error.
VerifyCounts RunVER(const std::string& dist, const std::string& toc, const std::string& pak,
                    const InstallTarget& target, const Settings& settings);
