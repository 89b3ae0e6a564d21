// The heading of the distribution, as the dialogue shows it.
#pragma once

#include <string>

// Prints a line end, the heading of the distribution (the first line of the
// table of contents from column 3), an underline as long as the heading and
// a line end.
void PrintHeader(const std::string& toc);
