#include "operations/calculatesize.hpp"

#include <cstdio>

#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"

long long CalculateSize(const std::string& file) {
  std::FILE* in = OpenOrDie(file, "r");
  long long total = 0;
  std::string line;
  // Every entry takes at least one kilobyte, whatever its size.
  while (ReadLine(in, line)) total += TocLine(line).Size() / 1024 + 1;
  std::fclose(in);
  return total;
}
