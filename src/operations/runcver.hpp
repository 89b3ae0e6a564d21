#pragma once

#include <string>

// Lists and counts the entries of `pak` missing from the current directory,
// under the category and package headings.
void RunVER(const std::string& dist, const std::string& toc, const std::string& pak);
