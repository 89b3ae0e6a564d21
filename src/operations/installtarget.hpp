// The installation directory as the operations get it: held open, so that
// every use goes through the descriptor and never through the path again,
// and its path, for messages and for absolute links that lead back into it.
#pragma once

#include <string>

struct InstallTarget {
  int fd = -1;       // the caller's; the operations do not close it
  std::string path;  // absolute
};
