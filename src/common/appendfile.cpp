#include "common/appendfile.hpp"

#include "common/copyfile.hpp"

void AppendFile(const std::string& source, const std::string& target) {
  CopyWholeFile(source, target, true);
}
