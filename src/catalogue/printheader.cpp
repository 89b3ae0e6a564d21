#include "catalogue/printheader.hpp"

#include <cstdio>

#include "catalogue/tocline.hpp"
#include "common/lineio.hpp"
#include "common/visibletext.hpp"

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
