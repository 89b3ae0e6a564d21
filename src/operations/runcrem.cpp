#include "operations/runcrem.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "catalogue/tocline.hpp"
#include "common/entrypath.hpp"
#include "common/lineio.hpp"
#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "operations/containment.hpp"
#include "system/spawn.hpp"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// A warning or success line: the message, a blank and the entry path.
void Report(int message, const std::string& path, bool success = false) {
  if (success) std::fputs("  ", stdout);
  hprintf(message);
  std::fputc(' ', stdout);
  PutVisible(path);
  std::fputc('\n', stdout);
}

void RemoveFile(const std::string& path, bool allowed, int list_files) {
  if (!allowed) return Report(53, path);
  if (!Exists(path)) return Report(55, path);
  if (unlink(path.c_str()) != 0) return Report(53, path);
  if (list_files == 1) Report(54, path, true);
}

// False when no child could be started for the removal.
bool RemoveDirectory(const std::string& path, bool allowed, int list_files) {
  if (!allowed) {
    Report(56, path);
    return true;
  }
  if (!Exists(path)) {
    Report(57, path);
    return true;
  }
  // A trailing slash would make rm follow a symbolic link named by the path.
  std::string target(WithoutTrailingSlashes(path));
  ChildEnd rm = RunCommand({{"/bin/rm", "-rf", "--", target}, -1});
  if (!rm.started) {
    errno = rm.error;
    std::perror("install");
    return false;
  }
  // Only what is left on disk counts, not how rm ended.
  if (Exists(path)) {
    Report(56, path);
  } else if (list_files == 1) {
    Report(54, path, true);
  }
  return true;
}

}  // namespace

void RunREM(const std::string& pak, int list_files) {
  std::fputs("\n", stdout);
  LineReader in(pak);
  Containment containment;
  std::string_view line;
  // A required package is never removed, not even in part: its 'R' line
  // and the lines that continue it are passed over.
  bool in_required = false;
  while (in.Next(line)) {
    TocLine entry(line);
    if (entry.IsRequired() || (in_required && entry.IsContinuation())) {
      in_required = true;
      continue;
    }
    in_required = false;
    std::string path(entry.EntryWord());
    bool allowed = containment.Allows(path);
    if (entry.EntryType() == 'F') {
      RemoveFile(path, allowed, list_files);
    } else if (!RemoveDirectory(path, allowed, list_files)) {
      break;
    }
  }
  std::fputs("\n", stdout);
  nprintf(58);
}
