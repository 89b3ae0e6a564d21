#include "operations/calculatesize.hpp"

#include "common/lineio.hpp"
#include "toc/tocline.hpp"

long long CalculateSize(const std::string& file) {
  LineReader in(file);
  long long total = 0;
  std::string_view line;
  // Every entry takes at least one kilobyte, whatever its size.
  while (in.Next(line)) total += TocLine(line).Size() / 1024 + 1;
  return total;
}
