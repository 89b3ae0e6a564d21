#include "support/tocwriter.hpp"

#include <cstdio>

std::string HeaderLine(const std::string& heading) { return "   " + heading + "\n"; }

std::string TitleLine(int category, const std::string& title, bool default_all) {
  char head[16];
  std::snprintf(head, sizeof head, "%02d *%c%c ", category, ' ', default_all ? 'A' : 'N');
  return std::string(head) + title + "\n";
}

std::string PackageLine(int category, char type, char package_class,
                        const std::string& description, const std::string& archive,
                        long long size, const std::string& path) {
  char line[128];
  // Columns: 0-1 code, 3 type, 5 class, 7-60 description, 65-66 archive,
  // 68-79 size, 80 on path.
  std::snprintf(line, sizeof line, "%02d %c %c %-54.54s    %-2.2s %12lld", category, type,
                package_class, description.c_str(), archive.c_str(), size);
  return std::string(line) + path + "\n";
}
