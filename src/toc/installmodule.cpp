#include "toc/installmodule.hpp"

#include <cstdio>

#include "messages/print.hpp"
#include "session/console.hpp"
#include "session/strict.hpp"
#include "toc/displaypackages.hpp"
#include "toc/markduplicates.hpp"
#include "toc/markpackages.hpp"

int InstallModule(const std::string& file, Mode mode, int count) {
  MarkDuplicates(file, count);
  int n = DisplayPackages(file, PackageDisplay::kTitle);
  for (;;) {
    int result = MarkPackages(file, mode, count, n);
    if (result == 0) return 0;
    if (result > 0) return 1;
    nprintf(Msg::kNotAValidSelection);
    std::fputs("\n", stdout);
    Refuse(WordingOf(mode).package_question, LastAnswer(), "Not a valid selection");
  }
}
