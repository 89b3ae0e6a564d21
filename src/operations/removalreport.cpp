#include "operations/removalreport.hpp"

#include <cstdio>

#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "session/runreport.hpp"
#include "system/progressline.hpp"

void ReportRemoval(Msg message, const std::string& path, bool success, bool shown) {
  ReportEntry(message == Msg::kDeleted ? "deleted"
              : message == Msg::kNoSuchFile || message == Msg::kNoSuchDirectoryEntry
                  ? "missing"
                  : "not-deleted",
              path);
  if (!shown) return;
  ProgressLine::HideCurrent();
  if (success) std::fputs("  ", stdout);
  hprintf(message);
  std::fputc(' ', stdout);
  PutVisible(path);
  std::fputc('\n', stdout);
}
