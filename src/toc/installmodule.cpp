#include "toc/installmodule.hpp"

#include <cstdio>

#include "common/lineio.hpp"
#include "messages/print.hpp"
#include "session/console.hpp"
#include "session/responses.hpp"
#include "session/strict.hpp"
#include "toc/displaypackages.hpp"
#include "toc/markduplicates.hpp"
#include "toc/markpackages.hpp"
#include "toc/tocline.hpp"

int InstallModule(const std::string& file, Mode mode, int count, const CategoryWorkFiles& work) {
  MarkDuplicates(file, count, file, work.scratch);
  int n = DisplayPackages(file, PackageDisplay::kTitle, work.listing);
  std::string first = ReadFirstLine(file);
  NameCategory(TocLine(first).IsTitle() ? TocLine(first).Text() : std::string_view());
  for (;;) {
    int result = MarkPackages(file, mode, count, n, work);
    if (result == 0) return 0;
    if (result > 0) return 1;
    nprintf(Msg::kNotAValidSelection);
    std::fputs("\n", stdout);
    Refuse(WordingOf(mode).package_question, LastAnswer(), "Not a valid selection");
  }
}
