// The size of a selection, from its table-of-contents lines.
#pragma once

#include <string>

// Kilobytes of all entries listed in `file`: each line counts its size
// divided by 1024, plus 1.
long long CalculateSize(const std::string& file);
