#include "catalogue/categorytitle.hpp"

#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"

std::optional<std::string> FindCategoryTitle(const std::string& toc, const std::string& code) {
  std::FILE* file = OpenOrDie(toc, "r");
  std::string line;
  std::optional<std::string> title;
  while (ReadLine(file, line)) {
    TocLine view(line);
    if (view.HasCategory(code) && view.IsTitle()) {
      title = line;
      break;
    }
  }
  std::fclose(file);
  return title;
}
