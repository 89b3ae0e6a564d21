#include "catalogue/tocline.hpp"

#include <cctype>
#include <cstdio>

const char* const kTocNames[6] = {"01.toc", "01.toc;1", "01.toc-1",
                                  "01.TOC", "01.TOC;1", "01.TOC-1"};

int TocVariantOf(const std::string& file_name) {
  std::string base = file_name.substr(file_name.rfind('/') + 1);
  for (int i = 0; i < 6; ++i) {
    if (base == kTocNames[i]) return i;
  }
  return 0;
}

std::string CategoryCode(int category) {
  char code[16];
  std::snprintf(code, sizeof code, "%02d", category);
  return code;
}

long long TocLine::Size() const {
  // The field ends before column 80, where the entry path begins.
  std::string_view field = Field(68, 12);
  size_t i = 0;
  while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i]))) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  long long value = 0;
  const long long limit = (1LL << 62) / 10;
  for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])); ++i) {
    if (value < limit) value = value * 10 + (field[i] - '0');
  }
  return negative ? -value : value;
}

std::string_view TocLine::EntryWord() const {
  std::string_view path = EntryPath();
  // A NUL byte ends it too: no file name holds one, and the operations
  // hand the path on as a C string or in a NUL-separated list.
  size_t end = path.find_first_of(std::string_view(" \t\0", 3));
  return end == std::string_view::npos ? path : path.substr(0, end);
}

void TocLine::SetPackageClass(std::string& line, char package_class) {
  if (line.size() > 5) line[5] = package_class;
}
