#include "operations/runcrem.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/entrypath.hpp"
#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "operations/beneath.hpp"
#include "operations/dryremoval.hpp"
#include "operations/recordedremoval.hpp"
#include "operations/removalreport.hpp"
#include "session/strict.hpp"
#include "system/notice.hpp"
#include "system/programneeds.hpp"
#include "system/programs.hpp"
#include "system/progressline.hpp"
#include "system/sandbox.hpp"
#include "system/spawn.hpp"
#include "toc/requiredlines.hpp"
#include "toc/tocline.hpp"

namespace {

// The directory that holds the entry `path`, below the installation
// directory: where rm works in a private root.
std::string ParentPath(std::string_view path) {
  path = WithoutTrailingSlashes(path);
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
}

// The last name of the entry `path`: what rm is given in its parent.
std::string LastName(std::string_view path) {
  path = WithoutTrailingSlashes(path);
  return std::string(path.substr(path.rfind('/') + 1));
}

// Lines held back for one rm: directory lines side by side in one parent
// (each name once: a name given again is missing the second time; not so
// many that their names outgrow an argument list), and the lines below
// them, from `at` in the list of lines.
struct HeldBack {
  bool Takes(const std::string& path, bool directory) const {
    return !paths.empty() && directory && !path.empty() && paths.size() < kMost &&
           bytes + path.size() < kMostBytes && ParentPath(path) == parent &&
           !names.contains(LastName(path));
  }
  // Whether `path` lies below one of the directories held.
  bool Below(std::string_view path) const {
    if (paths.empty()) return false;
    if (!parent.empty()) {
      if (!path.starts_with(parent) || path.size() <= parent.size() || path[parent.size()] != '/')
        return false;
      path.remove_prefix(parent.size() + 1);
    }
    size_t slash = path.find('/');
    return slash != std::string_view::npos && slash + 1 < path.size() &&
           names.contains(std::string(path.substr(0, slash)));
  }
  void Add(std::string path, bool directory, uint64_t offset) {
    if (lines++ == 0) at = offset;
    if (!directory || Below(path)) return;
    if (paths.empty()) parent = ParentPath(path);
    bytes += path.size();
    names.emplace(LastName(path));
    paths.push_back(std::move(path));
  }

  static constexpr size_t kMost = 4096, kMostBytes = 256 * 1024;
  std::vector<std::string> paths;  // the directories, in order
  std::string parent;
  std::unordered_set<std::string> names;  // their last names
  size_t bytes = 0;
  uint64_t at = 0;   // where the first line begins
  size_t lines = 0;  // every line held, the directories' and those below them
};

// The programs of the removal; rm must be there before anything is
// removed, or the removal is not begun (status 1 in a strict run).
Programs ProgramsOfTheRemoval(const Settings& settings) {
  Programs programs;
  FindPrograms(false, {}, settings, programs);
  std::vector<std::string> lacked = LackedNeeds(programs, {.rm = true});
  for (const std::string& line : lacked) Notice("install: ", line, "");
  if (!lacked.empty()) EndRun(Ending::kFailed);
  return programs;
}

// One removal: the installation directory, held, and the confinement of
// rm.
class Remover {
 public:
  Remover(ListFiles list_files, const InstallTarget& target, const Settings& settings)
      : list_files_(list_files),
        root_fd_(target.fd),
        root_path_(target.path),
        sandbox_(Sandbox::Beneath(root_fd_, root_path_, ProgramsOfTheRemoval(settings),
                                  settings.confine)),
        refuse_open_(!sandbox_.private_root()),
        mount_points_(MountPointsBeneath(root_fd_)) {
    if (root_fd_ < 0) DieFor(root_path_);
    // Nothing may be removed by a path that no longer names the directory.
    if (!sandbox_.unusable().empty()) {
      Notice("", root_path_, ": not changed: " + sandbox_.unusable());
      exite(1);
    }
  }

  // Below a directory found missing nothing is there either (removal only
  // takes away): no need to look again for every entry it held.
  bool BelowMissing(const std::string& path) const {
    return !missing_.empty() && path.starts_with(missing_) && path.size() > missing_.size() &&
           path[missing_.size()] == '/';
  }

  // False when no child could be started for a removal.
  bool Remove(const std::string& path, bool directory) {
    if (BelowMissing(path)) {
      ReportRemoval(directory ? Msg::kNoSuchDirectoryEntry : Msg::kNoSuchFile, path);
      return true;
    }
    if (directory) {
      OneRm side = Start({path});
      bool started = side.rm_started;
      if (started) Tell(side, 0);
      End(side);
      if (!started) SayNotStarted(side, path);
      return started;
    }
    Parent parent = OpenParentBeneath(root_fd_, root_path_, path, refuse_open_);
    if (!parent.open_to_others.empty()) ReportOpenToOthers(parent.open_to_others);
    if (parent.outcome == Parent::Outcome::kRefused) {
      ReportRemoval(Msg::kCannotDeleteFile, path);
      return true;
    }
    if (parent.outcome == Parent::Outcome::kMissing) {
      ReportRemoval(Msg::kNoSuchFile, path);
      return true;
    }
    missing_.clear();
    RemoveFile(parent, path);
    close(parent.fd);
    return true;
  }

  // Directory lines side by side in one parent, removed by one rm; each
  // line then gets the message it would have had alone (Tell).
  struct OneRm {
    enum class Found { kMissing, kHeld, kRemoved };
    std::vector<std::string> paths, names;
    Parent parent;
    std::vector<Found> found;
    bool rm_started = true;
    ChildEnd rm;                      // how rm ended
    size_t first_removed = SIZE_MAX;  // the first line rm was to remove
  };

  // Looks at each of `paths` (directories of one parent) and runs one rm on
  // those to remove.
  OneRm Start(std::vector<std::string> paths) {
    OneRm side;
    side.parent = OpenParentBeneath(root_fd_, root_path_, paths.front(), refuse_open_);
    side.paths = std::move(paths);
    if (side.parent.outcome != Parent::Outcome::kOpened) return side;
    // rm works in the parent on the last names alone: a link there is
    // removed, never followed, and it stays on this file system.
    Command rm{{sandbox_.programs().rm, "-rf", "--one-file-system", "--"}};
    Parent entry = {Parent::Outcome::kOpened, side.parent.fd, "", ""};
    for (const std::string& path : side.paths) {
      entry.name = side.names.emplace_back(LastName(path));
      // A directory on which another file system is mounted, or a bind
      // mount of this one, or that holds one further down, is not emptied.
      struct stat st, holder;
      if (!Exists(entry)) {
        side.found.push_back(OneRm::Found::kMissing);
      } else if (fstatat(entry.fd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                 fstat(entry.fd, &holder) != 0 || st.st_dev != holder.st_dev ||
                 ReachesMount(entry, mount_points_)) {
        side.found.push_back(OneRm::Found::kHeld);
      } else {
        side.first_removed = std::min(side.first_removed, side.found.size());
        side.found.push_back(OneRm::Found::kRemoved);
        rm.argv.push_back(entry.name);
      }
    }
    if (side.first_removed == SIZE_MAX) return side;
    rm.cwd_fd = side.parent.fd;
    rm.cwd_below = ParentPath(side.paths.front());
    rm.sandbox = &sandbox_;
    rm.work = ChildWork::kRemove;
    rm.environment = sandbox_.programs().Environment();
    ChildEnd end = RunCommand(rm);
    side.rm_started = end.started;
    side.rm = end;
    return side;
  }

  // The message of line `i` of `side`. Only what is left on disk counts,
  // not how rm ended.
  void Tell(const OneRm& side, size_t i) {
    const std::string& path = side.paths[i];
    if (!side.parent.open_to_others.empty()) ReportOpenToOthers(side.parent.open_to_others);
    if (side.parent.outcome != Parent::Outcome::kOpened) {
      ReportRemoval(side.parent.outcome == Parent::Outcome::kRefused ? Msg::kCannotDeleteDirectory
                                                                     : Msg::kNoSuchDirectoryEntry,
                    path);
      return;
    }
    missing_.clear();
    Parent entry = {Parent::Outcome::kOpened, side.parent.fd, side.names[i], ""};
    if (side.found[i] == OneRm::Found::kMissing) {
      ReportRemoval(Msg::kNoSuchDirectoryEntry, path);
    } else if (side.found[i] == OneRm::Found::kHeld || Exists(entry)) {
      ReportRemoval(Msg::kCannotDeleteDirectory, path);
    } else {
      ReportRemoval(Msg::kDeleted, path, true, list_files_ == ListFiles::kYes);
    }
    NoteMissing(entry, path);
  }

  void End(OneRm& side) {
    if (side.parent.outcome == Parent::Outcome::kOpened) close(side.parent.fd);
    side.parent.outcome = Parent::Outcome::kRefused;
  }

  // Removes the directories `held` names by one rm, then reads the lines
  // held back again from `fd` (the list of lines `name`) and gives each its
  // message, or removes it, in order. False when rm could not be started.
  bool Replay(const HeldBack& held, int fd, const std::string& name) {
    OneRm side = Start(held.paths);
    LineReader again(fd, name, held.at, 1 << 16);
    std::string_view line;
    size_t next = 0;  // the next of the directories
    bool started = true;
    for (size_t n = 0; started && n < held.lines && again.Next(line); ++n) {
      TocLine entry(line);
      std::string path(entry.EntryWord());
      if (next < side.paths.size() && path == side.paths[next]) {
        if (!side.rm_started && next == side.first_removed) {
          SayNotStarted(side, path);
          started = false;
          break;
        }
        Tell(side, next++);
        continue;
      }
      started = Remove(path, entry.EntryType() != 'F');
    }
    End(side);
    return started;
  }

  // rm could not be started for the directory `path`: why, once, and the
  // directory's warning; the removal stops there.
  void SayNotStarted(const OneRm& side, const std::string& path) const {
    Notice("", DescribeEnd(sandbox_.programs().rm, side.rm), "");
    ReportRemoval(Msg::kCannotDeleteDirectory, path);
  }

 private:
  // Whether the entry exists, its last link followed (a link whose target
  // is gone counts as missing).
  static bool Exists(const Parent& parent) {
    struct stat st;
    return fstatat(parent.fd, parent.name.c_str(), &st, 0) == 0;
  }

  // A file that is a mount point is not removed either: the kernel refuses.
  void RemoveFile(const Parent& parent, const std::string& path) {
    if (!Exists(parent)) {
      ReportRemoval(Msg::kNoSuchFile, path);
    } else if (unlinkat(parent.fd, parent.name.c_str(), 0) != 0) {
      ReportRemoval(Msg::kCannotDeleteFile, path);
    } else {
      ReportRemoval(Msg::kDeleted, path, true, list_files_ == ListFiles::kYes);
    }
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

RemovalEnd RunREM(const std::string& pak, ListFiles list_files, const InstallTarget& target,
                  const Settings& settings, const std::string& record) {
  std::fputs("\n", stdout);
  if (!record.empty()) {
    bool kept = RemoveRecorded(pak, record, list_files, target, settings.dry_run);
    std::fputs("\n", stdout);
    nprintf(Msg::kRemoved);
    return kept ? RemovalEnd::kKept : RemovalEnd::kDone;
  }
  if (settings.dry_run) {
    DryRemoval(pak, target);
    std::fputs("\n", stdout);
    nprintf(Msg::kRemoved);
    return RemovalEnd::kDone;
  }
  LineReader in(pak);
  Remover remover(list_files, target, settings);
  // "Deleted:" lines own the screen when they are listed.
  bool wanted = list_files != ListFiles::kYes && ProgressLine::Wanted(settings);
  ProgressLine progress("Removing", wanted ? CountLines(pak) : 0, ProgressLine::Unit::kEntries,
                        wanted);
  uint64_t entries = 0;
  std::string_view line;
  // Directory lines that follow one another in one parent go to one rm;
  // the lines below them meanwhile wait, and all get their messages after
  // it, in order, as one after another.
  HeldBack held;
  bool started = true;
  auto flush = [&] {
    if (!held.paths.empty()) started = remover.Replay(held, in.fd(), pak);
    held = HeldBack();
  };
  // A required package is never removed, not even in part: its 'R' line
  // and the lines that continue it are passed over.
  RequiredLines required;
  while (started) {
    uint64_t at = in.Offset();
    if (!in.Next(line)) break;
    progress.Show(entries++);
    TocLine entry(line);
    if (required.Holds(entry)) {
      flush();
      continue;
    }
    std::string path(entry.EntryWord());
    bool directory = entry.EntryType() != 'F';
    if (held.Below(path) || held.Takes(path, directory)) {
      held.Add(std::move(path), directory, at);
      continue;
    }
    flush();
    if (!started) break;
    if (directory && !path.empty() && !remover.BelowMissing(path)) {
      held.Add(std::move(path), directory, at);
      continue;
    }
    started = remover.Remove(path, directory);
  }
  flush();
  progress.Erase();
  std::fputs("\n", stdout);
  nprintf(Msg::kRemoved);
  return started ? RemovalEnd::kDone : RemovalEnd::kNotStarted;
}
