#include "common/currentdirectory.hpp"

#include <unistd.h>

#include <cerrno>
#include <vector>

std::string CurrentDirectory() {
  std::vector<char> buffer(512);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return "";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}
