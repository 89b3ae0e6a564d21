#include "toc/printheader.hpp"

#include <cstdio>

#include "common/lineio.hpp"
#include "common/visibletext.hpp"
#include "toc/tocline.hpp"

void PrintHeader(const std::string& toc) {
  std::string line = ReadFirstLine(toc);
  std::string heading = Visible(TocLine(line).Heading());
  std::string out = "\n";
  out.append(heading);
  out += '\n';
  out.append(heading.size(), '-');
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stdout);
}
