#include "operations/removalreport.hpp"

#include <cstdio>

#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "system/progressline.hpp"

void ReportRemoval(Msg message, const std::string& path, bool success) {
  ProgressLine::HideCurrent();
  if (success) std::fputs("  ", stdout);
  hprintf(message);
  std::fputc(' ', stdout);
  PutVisible(path);
  std::fputc('\n', stdout);
}
