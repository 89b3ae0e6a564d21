#include "operations/dryremoval.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "common/lineio.hpp"
#include "operations/beneath.hpp"
#include "operations/removalreport.hpp"
#include "toc/requiredlines.hpp"
#include "toc/tocline.hpp"

namespace {

bool Below(std::string_view path, const std::vector<std::string>& directories) {
  for (const std::string& directory : directories) {
    if (path.size() > directory.size() && path.starts_with(directory) &&
        path[directory.size()] == '/') {
      return true;
    }
  }
  return false;
}

}  // namespace

void DryRemoval(const std::string& pak, const InstallTarget& target) {
  LineReader in(pak);
  std::string_view line;
  std::vector<std::string> removed;  // directories rm would take
  RequiredLines required;
  while (in.Next(line)) {
    TocLine entry(line);
    if (required.Holds(entry)) continue;
    std::string path(entry.EntryWord());
    bool directory = entry.EntryType() != 'F';
    Msg missing = directory ? Msg::kNoSuchDirectoryEntry : Msg::kNoSuchFile;
    if (path.empty()) continue;
    if (Below(path, removed)) {
      ReportRemoval(missing, path);
      continue;
    }
    Parent parent = OpenParentBeneath(target.fd, target.path, path, false);
    struct stat st;
    bool there = parent.outcome == Parent::Outcome::kOpened &&
                 fstatat(parent.fd, parent.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (parent.fd >= 0) close(parent.fd);
    if (parent.outcome == Parent::Outcome::kRefused) {
      ReportRemoval(directory ? Msg::kCannotDeleteDirectory : Msg::kCannotDeleteFile, path);
    } else if (!there) {
      ReportRemoval(missing, path);
    } else {
      ReportRemoval(Msg::kDeleted, path, true);
      if (directory) removed.push_back(path);
    }
  }
}
