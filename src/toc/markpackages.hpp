// The answer to a package question, and the chosen lines it leaves.
#pragma once

#include <string>
#include <vector>

#include "session/mode.hpp"

// The meaning of one answer to a package question.
struct PackageChoice {
  enum Kind { kAll, kNone, kNumbers, kInvalid };
  Kind kind = kInvalid;
  std::vector<int> numbers;  // sorted, for kNumbers
};

// Reads an answer (without ^, ? and quit words, which the question handles)
// against the default answer ("all" or "none") and the package count.
PackageChoice ParsePackageAnswer(const std::string& answer, const std::string& default_answer,
                                 int package_count);

// The working files a package question writes besides the category file.
struct CategoryWorkFiles {
  std::string scratch;  // TMP: the chosen lines, before they replace the category's
  std::string listing;  // TMP2: the numbered listing shown by the help
};

// Asks the package question until it is answered (an answer that chooses
// nothing valid is refused and asked again). 0: `file` now holds the chosen
// lines; 1: step back.
int MarkPackages(const std::string& file, Mode mode, int count, int n,
                 const CategoryWorkFiles& work);
