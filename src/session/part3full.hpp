// Expansion of a path typed on the command line into a full path.
#pragma once

#include <string>

// Expands the forms beginning with "./", "../", "..", ".", "~/" and "~"
// against the base directory ($ZULPWD, else the current directory) and the
// home directories; any other path comes back unchanged.
std::string part3full(const std::string& path);
