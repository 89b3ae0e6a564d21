#include "catalogue/printheader.hpp"

#include <cstdio>

#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"

void PrintHeader(const std::string& toc) {
  std::FILE* file = OpenOrDie(toc, "r");
  std::string line;
  ReadLine(file, line);
  std::fclose(file);
  std::string_view heading = TocLine(line).Heading();
  std::string out = "\n";
  out.append(heading);
  out += '\n';
  out.append(heading.size(), '-');
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stdout);
}
