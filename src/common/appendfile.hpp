// Appending one file to another.
#pragma once

#include <string>

// Adds the content of `source` to the end of `target`, creating it when
// needed. A file that cannot be opened ends the run with status 1.
void AppendFile(const std::string& source, const std::string& target);
