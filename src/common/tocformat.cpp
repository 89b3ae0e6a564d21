#include "common/tocformat.hpp"

#include <cstdio>

std::string CategoryCode(int category) {
  char code[16];
  std::snprintf(code, sizeof code, "%02d", category);
  return code;
}

std::string TocHeader(const std::string& heading) { return "   " + heading + "\n"; }

std::string TocTitle(int category, bool default_all, const std::string& title) {
  return CategoryCode(category) + " * " + (default_all ? 'A' : 'N') + " " + title + "\n";
}

std::string TocEntry(int category, char type, char package_class, const std::string& description,
                     const std::string& archive_code, uint64_t size, const std::string& path) {
  char fields[96];
  std::snprintf(fields, sizeof fields, "%s %c %c %-54.54s    %-2.2s %12llu",
                CategoryCode(category).c_str(), type, package_class, description.c_str(),
                archive_code.c_str(), static_cast<unsigned long long>(size));
  return std::string(fields) + path + "\n";
}
