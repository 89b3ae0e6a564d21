// Expansion of a path typed on the command line into a full path.
#pragma once

#include <string>

#include "common/settings.hpp"

// Expands the forms beginning with "./", "../", "..", ".", "~/" and "~"
// against the base directory (ZULPWD of `settings`, else the current
// directory) and the home directories (HOME); any other path comes back
// unchanged.
std::string part3full(const std::string& path, const Settings& settings);
