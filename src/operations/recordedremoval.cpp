#include "operations/recordedremoval.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unordered_set>
#include <vector>

#include "common/checksumlist.hpp"
#include "common/entrypath.hpp"
#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/sha256.hpp"
#include "common/visibletext.hpp"
#include "operations/beneath.hpp"
#include "operations/loadrecord.hpp"
#include "operations/removalreport.hpp"
#include "session/runreport.hpp"
#include "system/notice.hpp"
#include "toc/requiredlines.hpp"
#include "toc/tocline.hpp"

namespace {

void Kept(const char* why, const std::string& path) {
  ReportEntry("kept", path);
  std::printf("  Kept (%s): ", why);
  PutVisible(path);
  std::fputc('\n', stdout);
}

// The chosen entry paths, without those of required packages (an 'R' line
// and the lines that continue it).
std::unordered_set<std::string> ChosenPaths(const std::string& pak) {
  std::unordered_set<std::string> chosen;
  LineReader in(pak);
  std::string_view line;
  RequiredLines required;
  while (in.Next(line)) {
    TocLine entry(line);
    if (required.Holds(entry)) continue;
    std::string_view path = WithoutTrailingSlashes(entry.EntryWord());
    if (!path.empty()) chosen.emplace(path);
  }
  return chosen;
}

// Whether `path` or a directory above it is chosen.
bool Chosen(const std::unordered_set<std::string>& chosen, std::string path) {
  for (;;) {
    if (chosen.contains(path)) return true;
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    path.resize(slash);
  }
}

class RecordedRemover {
 public:
  RecordedRemover(const std::string& record, ListFiles list_files, const InstallTarget& target,
                  bool dry_run)
      : list_files_(dry_run ? ListFiles::kYes : list_files), target_(target), dry_run_(dry_run) {
    std::string list = ReadRecordFile(record, ".list");
    sums_ = ReadRecordedSums(record);
    size_t number = 1;  // after the first line, the receipt's
    for (size_t at = 0; at < list.size();) {
      size_t end = std::min(list.find('\n', at), list.size());
      RecordedMember member;
      ++number;
      std::string_view line = std::string_view(list).substr(at, end - at);
      if (line == kRecordComplete) break;
      if (!ReadRecordedLine(line, member)) {
        Notice("install: ", record + ".list", ": line " + std::to_string(number) + " is not one");
        exite(1);
      }
      places_.insert(member.place);
      members_.push_back(std::move(member));
      at = end + 1;
    }
  }

  bool Remove(const std::unordered_set<std::string>& chosen) {
    for (const RecordedMember& member : members_) {
      if (member.type != 'd' && Chosen(chosen, member.place)) RemoveEntry(member);
    }
    // Then the directories, the deepest first.
    std::vector<const RecordedMember*> directories;
    for (const RecordedMember& member : members_) {
      if (member.type == 'd' && Chosen(chosen, member.place)) directories.push_back(&member);
    }
    std::stable_sort(directories.begin(), directories.end(), [](auto* a, auto* b) {
      return std::count(a->place.begin(), a->place.end(), '/') >
             std::count(b->place.begin(), b->place.end(), '/');
    });
    for (const RecordedMember* directory : directories) RemoveDirectory(directory->place);
    return kept_;
  }

 private:
  // A file that still holds what was written, or a link that still leads
  // where it did, goes; anything else stays.
  void RemoveEntry(const RecordedMember& member) {
    const std::string& path = member.place;
    // The installer removes these itself, in no private root: nothing in a
    // directory that another user can write to, where a name could be
    // swapped between the look and the removal.
    Parent parent = OpenParentBeneath(target_.fd, target_.path, path, true);
    struct stat st;
    if (parent.outcome != Parent::Outcome::kOpened ||
        fstatat(parent.fd, parent.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ReportRemoval(
          parent.outcome == Parent::Outcome::kRefused ? Msg::kCannotDeleteFile : Msg::kNoSuchFile,
          path);
    } else if (!Unchanged(member, parent, st)) {
      Kept("changed since loading", path);
      kept_ = true;
    } else if (dry_run_) {
      gone_.insert(path);
      ReportRemoval(Msg::kDeleted, path, true);
    } else if (unlinkat(parent.fd, parent.name.c_str(), 0) != 0) {
      ReportRemoval(Msg::kCannotDeleteFile, path);
    } else {
      ReportRemoval(Msg::kDeleted, path, true, list_files_ == ListFiles::kYes);
    }
    if (parent.fd >= 0) close(parent.fd);
  }

  bool Unchanged(const RecordedMember& member, const Parent& parent, const struct stat& st) const {
    if (member.type == 'l') {
      if (!S_ISLNK(st.st_mode)) return false;
      std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
      ssize_t got = readlinkat(parent.fd, parent.name.c_str(), target.data(), target.size());
      return got >= 0 && target.substr(0, static_cast<size_t>(got)) == member.link;
    }
    auto recorded = sums_.find(member.place);
    if (!S_ISREG(st.st_mode) || recorded == sums_.end()) return false;
    int fd = openat(parent.fd, parent.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    std::string hex;
    bool same = fd >= 0 && Sha256OfFile(fd, hex) && hex == recorded->second;
    if (fd >= 0) close(fd);
    return same;
  }

  // An empty directory goes; one that holds what the load did not write
  // stays, and that is named.
  void RemoveDirectory(const std::string& path) {
    Parent parent = OpenParentBeneath(target_.fd, target_.path, path, true);
    if (parent.outcome != Parent::Outcome::kOpened) {
      if (parent.outcome == Parent::Outcome::kRefused)
        ReportRemoval(Msg::kCannotDeleteDirectory, path);
      if (parent.fd >= 0) close(parent.fd);
      return;
    }
    if (dry_run_) {
      // Empty by its turn when everything in it would have gone.
      if (NameWhatWasNotLoaded(parent, path)) {
        gone_.insert(path);
        ReportRemoval(Msg::kDeleted, path, true);
      }
    } else if (unlinkat(parent.fd, parent.name.c_str(), AT_REMOVEDIR) == 0) {
      ReportRemoval(Msg::kDeleted, path, true, list_files_ == ListFiles::kYes);
    } else if (errno == ENOTEMPTY || errno == EEXIST) {
      NameWhatWasNotLoaded(parent, path);
    } else if (errno != ENOENT) {
      ReportRemoval(Msg::kCannotDeleteDirectory, path);
    }
    close(parent.fd);
  }

  // Names what the directory `path` holds that the load did not write;
  // true when everything it holds would be gone (a dry run's question).
  bool NameWhatWasNotLoaded(const Parent& parent, const std::string& path) {
    int fd =
        openat(parent.fd, parent.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!dir) {
      int error = errno;
      if (fd >= 0) close(fd);
      // Gone already (a dry run looks at every directory).
      if (error != ENOENT) ReportRemoval(Msg::kCannotDeleteDirectory, path);
      return false;
    }
    std::vector<std::string> names;
    bool all_gone = true;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string below = path + "/" + name;
      if (!places_.contains(below)) names.push_back(below);
      all_gone = all_gone && gone_.contains(below);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) Kept("not loaded", name);
    kept_ = kept_ || !names.empty();
    return all_gone;
  }

  ListFiles list_files_;
  InstallTarget target_;
  ChecksumList sums_;
  std::vector<RecordedMember> members_;
  std::unordered_set<std::string> places_;
  bool kept_ = false;
  bool dry_run_;
  std::unordered_set<std::string> gone_;  // what a dry run would have removed
};

}  // namespace

bool RecordIsWhole(const std::string& record) {
  std::string list = ReadRecordFile(record, ".list");
  return list.ends_with(std::string("\n") + kRecordComplete + "\n") ||
         list == std::string(kRecordComplete) + "\n";
}

bool RemoveRecorded(const std::string& pak, const std::string& record, ListFiles list_files,
                    const InstallTarget& target, bool dry_run) {
  RecordedRemover remover(record, list_files, target, dry_run);
  return remover.Remove(ChosenPaths(pak));
}
