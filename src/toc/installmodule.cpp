#include "toc/installmodule.hpp"

#include "common/lineio.hpp"
#include "session/responses.hpp"
#include "toc/displaypackages.hpp"
#include "toc/markduplicates.hpp"
#include "toc/markpackages.hpp"
#include "toc/tocline.hpp"

int InstallModule(const std::string& file, Mode mode, int count, const CategoryWorkFiles& work) {
  MarkDuplicates(file, count, file, work.scratch);
  int n = DisplayPackages(file, PackageDisplay::kTitle, work.listing);
  std::string first = ReadFirstLine(file);
  NameCategory(TocLine(first).IsTitle() ? TocLine(first).Text() : std::string_view());
  return MarkPackages(file, mode, count, n, work);
}
