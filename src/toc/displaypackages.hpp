// The numbered listing of a category's packages.
#pragma once

#include <string>

// What DisplayPackages shows besides counting.
enum class PackageDisplay {
  kTitle,    // the category title, when there are packages
  kListing,  // the numbered listing, pausing every 14 lines
};

// Counts the optional packages of the category in `file`, shows what
// `show` asks for, and returns the count. The numbered listing is written
// to `listing` (TMP2) to be shown, which is removed before it returns.
int DisplayPackages(const std::string& file, PackageDisplay show, const std::string& listing);
