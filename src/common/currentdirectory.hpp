// The current directory as an absolute path.
#pragma once

#include <string>

// The absolute path of the current directory, of any length; "" when it
// cannot be had.
std::string CurrentDirectory();
