#include "toc/tocline.hpp"

#include "common/numbers.hpp"

long long TocLine::Size() const {
  // The field ends before column 80, where the entry path begins.
  long long value = 0;
  return ReadLeadingInteger(Field(toc_columns::kSize, toc_columns::kSizeWidth), value) ? value : 0;
}

std::string_view TocLine::EntryWord() const {
  std::string_view path = EntryPath();
  // A NUL byte ends it too: no file name holds one, and the operations
  // hand the path on as a C string or in a NUL-separated list.
  size_t end = path.find_first_of(std::string_view(" \t\0", 3));
  return end == std::string_view::npos ? path : path.substr(0, end);
}

void TocLine::SetPackageClass(std::string& line, char package_class) {
  if (line.size() > toc_columns::kPackageClass) line[toc_columns::kPackageClass] = package_class;
}
