#include "operations/runcrem.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <vector>

#include "common/entrypath.hpp"
#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "operations/beneath.hpp"
#include "system/notice.hpp"
#include "system/programs.hpp"
#include "system/progressline.hpp"
#include "system/sandbox.hpp"
#include "system/spawn.hpp"
#include "toc/tocline.hpp"

namespace {

// A warning or success line: the message, a blank and the entry path.
void Report(Msg message, const std::string& path, bool success = false) {
  ProgressLine::HideCurrent();
  if (success) std::fputs("  ", stdout);
  hprintf(message);
  std::fputc(' ', stdout);
  PutVisible(path);
  std::fputc('\n', stdout);
}

// The directory that holds the entry `path`, below the installation
// directory: where rm works in a private root.
std::string ParentPath(std::string_view path) {
  path = WithoutTrailingSlashes(path);
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
}

Programs ProgramsOfTheRemoval() {
  Programs programs;
  FindPrograms(false, {}, programs);
  return programs;
}

// One removal: the installation directory, held, and the confinement of
// rm.
class Remover {
 public:
  Remover(ListFiles list_files, const InstallTarget& target)
      : list_files_(list_files),
        root_fd_(target.fd),
        root_path_(target.path),
        sandbox_(Sandbox::Beneath(root_fd_, root_path_, ProgramsOfTheRemoval())),
        refuse_open_(!sandbox_.private_root()),
        mount_points_(MountPointsBeneath(root_fd_)) {
    if (root_fd_ < 0) DieFor(root_path_);
    // Nothing may be removed by a path that no longer names the directory.
    if (!sandbox_.unusable().empty()) {
      Notice("", root_path_, ": not changed: " + sandbox_.unusable());
      exite(1);
    }
  }

  // False when no child could be started for a removal.
  bool Remove(const std::string& path, bool directory) {
    Msg not_removed = directory ? Msg::kCannotDeleteDirectory : Msg::kCannotDeleteFile;
    // Below a directory found missing nothing is there either (removal only
    // takes away): no need to look again for every entry it held.
    if (!missing_.empty() && path.starts_with(missing_) && path.size() > missing_.size() &&
        path[missing_.size()] == '/') {
      Report(directory ? Msg::kNoSuchDirectoryEntry : Msg::kNoSuchFile, path);
      return true;
    }
    Parent parent = OpenParentBeneath(root_fd_, root_path_, path, refuse_open_);
    if (!parent.open_to_others.empty()) ReportOpenToOthers(parent.open_to_others);
    if (parent.outcome == Parent::Outcome::kRefused) {
      Report(not_removed, path);
      return true;
    }
    if (parent.outcome == Parent::Outcome::kMissing) {
      Report(directory ? Msg::kNoSuchDirectoryEntry : Msg::kNoSuchFile, path);
      return true;
    }
    missing_.clear();
    bool started = directory ? RemoveDirectory(parent, path) : RemoveFile(parent, path);
    close(parent.fd);
    return started;
  }

 private:
  // Whether the entry exists, its last link followed (a link whose target
  // is gone counts as missing).
  static bool Exists(const Parent& parent) {
    struct stat st;
    return fstatat(parent.fd, parent.name.c_str(), &st, 0) == 0;
  }

  // A file that is a mount point is not removed either: the kernel refuses.
  bool RemoveFile(const Parent& parent, const std::string& path) {
    if (!Exists(parent)) {
      Report(Msg::kNoSuchFile, path);
    } else if (unlinkat(parent.fd, parent.name.c_str(), 0) != 0) {
      Report(Msg::kCannotDeleteFile, path);
    } else if (list_files_ == ListFiles::kYes) {
      Report(Msg::kDeleted, path, true);
    }
    return true;
  }

  bool RemoveDirectory(const Parent& parent, const std::string& path) {
    if (!Exists(parent)) {
      Report(Msg::kNoSuchDirectoryEntry, path);
      NoteMissing(parent, path);
      return true;
    }
    // A directory on which another file system is mounted, or a bind mount
    // of this one, or that holds one further down, is not emptied.
    struct stat entry, holder;
    if (fstatat(parent.fd, parent.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 ||
        fstat(parent.fd, &holder) != 0 || entry.st_dev != holder.st_dev ||
        ReachesMount(parent, mount_points_)) {
      Report(Msg::kCannotDeleteDirectory, path);
      return true;
    }
    // rm works in the parent on the last name alone: a link there is
    // removed, never followed, and it stays on this file system.
    Command rm{{sandbox_.programs().rm, "-rf", "--one-file-system", "--", parent.name}};
    rm.cwd_fd = parent.fd;
    rm.cwd_below = ParentPath(path);
    rm.sandbox = &sandbox_;
    rm.work = ChildWork::kRemove;
    rm.environment = sandbox_.programs().Environment();
    ChildEnd end = RunCommand(rm);
    if (!end.started) {
      errno = end.error;
      std::perror("install");
      return false;
    }
    // Only what is left on disk counts, not how rm ended.
    if (Exists(parent)) {
      Report(Msg::kCannotDeleteDirectory, path);
      return true;
    }
    if (list_files_ == ListFiles::kYes) Report(Msg::kDeleted, path, true);
    NoteMissing(parent, path);
    return true;
  }

  // The directory `path` is not there (any more): what it held is not
  // either. Only a directory itself, never one reached through a link.
  void NoteMissing(const Parent& parent, const std::string& path) {
    struct stat st;
    if (fstatat(parent.fd, parent.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return;
    missing_.assign(WithoutTrailingSlashes(path));
  }

  void ReportOpenToOthers(const std::string& dir) {
    Notice("", dir == "." ? root_path_ : dir,
           ": not changed: another user can write to this directory, and rm runs "
           "without a private root");
  }

  ListFiles list_files_;
  std::string missing_;  // a directory entry found missing, or removed
  int root_fd_;          // the installation directory, held by the caller
  std::string root_path_;
  Sandbox sandbox_;
  bool refuse_open_;
  std::vector<std::string> mount_points_;  // below the installation directory
};

}  // namespace

void RunREM(const std::string& pak, ListFiles list_files, const InstallTarget& target) {
  std::fputs("\n", stdout);
  LineReader in(pak);
  Remover remover(list_files, target);
  // "Deleted:" lines own the screen when they are listed.
  bool wanted = list_files != ListFiles::kYes && ProgressLine::Wanted();
  ProgressLine progress("Removing", wanted ? CountLines(pak) : 0, ProgressLine::Unit::kEntries,
                        wanted);
  uint64_t entries = 0;
  std::string_view line;
  // A required package is never removed, not even in part: its 'R' line
  // and the lines that continue it are passed over.
  bool in_required = false;
  while (in.Next(line)) {
    progress.Show(entries++);
    TocLine entry(line);
    if (entry.IsRequired() || (in_required && entry.IsContinuation())) {
      in_required = true;
      continue;
    }
    in_required = false;
    std::string path(entry.EntryWord());
    if (!remover.Remove(path, entry.EntryType() != 'F')) break;
  }
  progress.Erase();
  std::fputs("\n", stdout);
  nprintf(Msg::kRemoved);
}
