#include "toc/installmodule.hpp"

#include <cstdio>

#include "messages/print.hpp"
#include "session/console.hpp"
#include "session/strict.hpp"
#include "toc/displaypackages.hpp"
#include "toc/markduplicates.hpp"
#include "toc/markpackages.hpp"

int InstallModule(const std::string& file, Mode mode, int count, const CategoryWorkFiles& work) {
  MarkDuplicates(file, count, file, work.scratch);
  int n = DisplayPackages(file, PackageDisplay::kTitle, work.listing);
  for (;;) {
    int result = MarkPackages(file, mode, count, n, work);
    if (result == 0) return 0;
    if (result > 0) return 1;
    nprintf(Msg::kNotAValidSelection);
    std::fputs("\n", stdout);
    Refuse(WordingOf(mode).package_question, LastAnswer(), "Not a valid selection");
  }
}
