#include "operations/runcver.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "common/checksumlist.hpp"
#include "common/entrypath.hpp"
#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/sha256.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/pager.hpp"
#include "messages/print.hpp"
#include "operations/loadrecord.hpp"
#include "session/runreport.hpp"
#include "system/notice.hpp"
#include "system/progressline.hpp"
#include "system/trustedpath.hpp"
#include "toc/categorytitle.hpp"
#include "toc/tocline.hpp"

namespace {

// The report of missing entries under their headings, with its line count
// and the "More?" pause every 20 lines. A progress line on the same terminal
// is taken away before each of its lines.
class MissingReport {
 public:
  // False when the operator ends the scan at the pause.
  bool Page() {
    ProgressLine::HideCurrent();
    if (!pager_.Page()) ended_ = true;
    return !ended_;
  }

  // Whether the operator ended the scan at a pause.
  bool Ended() const { return ended_; }

  void CategoryHeading(std::string_view title) {
    ProgressLine::HideCurrent();
    pager_.Count(2);
    std::fputs("\n", stdout);
    hprintf(Msg::kVerifyingPackage);
    std::fputc(' ', stdout);
    PutVisible(title);
    std::fputc('\n', stdout);
  }

  void PackageHeading(std::string_view description) {
    ProgressLine::HideCurrent();
    pager_.Count();
    std::fputs("\t", stdout);
    hprintf(Msg::kVerifyingPackage);
    std::fputc(' ', stdout);
    PutVisible(description);
    std::fputc('\n', stdout);
  }

  void Missing(Msg message, std::string_view path) {
    ReportEntry("missing", path);
    ProgressLine::HideCurrent();
    pager_.Count();
    std::fputs("\t   ", stdout);
    hprintf(message);
    std::fputc(' ', stdout);
    PutVisible(path);
    std::fputc('\n', stdout);
  }

  void ContentDiffers(std::string_view path) {
    ReportEntry("content-differs", path);
    ProgressLine::HideCurrent();
    pager_.Count();
    std::fputs("  Content differs: ", stdout);
    PutVisible(path);
    std::fputc('\n', stdout);
  }

  void SizeDiffers(std::string_view path, long long expected, long long found) {
    ReportEntry("size-differs", path);
    ProgressLine::HideCurrent();
    pager_.Count();
    std::fputs("  Size differs: ", stdout);
    PutVisible(path);
    std::printf(" (expected %lld, found %lld)\n", expected, found);
  }

 private:
  Pager pager_{20};
  bool ended_ = false;
};

// One count line of the end of the report: `none_message` for none, else
// `count_message` and the count.
void PrintCount(long long count, Msg none_message, Msg count_message) {
  if (count == 0) {
    nprintf(none_message);
  } else {
    hprintf(count_message);
    std::printf(" %lld\n", count);
  }
}

// One verification: the installation directory, the report, and what was
// found.
class Verifier {
 public:
  Verifier(std::string toc_path, const InstallTarget& target, bool check_sizes,
           std::optional<ChecksumList> recorded)
      : toc_path_(std::move(toc_path)),
        target_(target),
        check_sizes_(check_sizes),
        recorded_(std::move(recorded)) {}

  // Looks for the entry of one chosen line, and reports it when it is
  // missing (or of another size); false when the operator ends the report.
  bool Verify(const TocLine& entry) {
    path_.assign(entry.EntryWord());
    Look look = LookAt(path_);
    if (entry.IsOptional() && !Headings(entry)) return false;
    if (look.exists) return CheckSize(entry, look) && CheckContents();
    if (!report_.Page()) return false;
    if (entry.EntryType() == 'D') {
      ++found_.missing_directories;
      report_.Missing(Msg::kMissingDirectory, path_);
    } else {
      ++found_.missing_files;
      report_.Missing(Msg::kMissingFile, path_);
    }
    return true;
  }

  VerifyCounts Found() {
    found_.complete = !report_.Ended();
    return found_;
  }

 private:
  // What stands at an entry's path.
  struct Look {
    bool exists = false;
    bool link = false;
    struct stat st = {};
  };

  // One look for most entries: a link is followed only for whether its
  // target exists, and only its own status is free of the follow.
  Look LookAt(const std::string& path) const {
    Look look;
    look.exists = fstatat(target_.fd, path.c_str(), &look.st, AT_SYMLINK_NOFOLLOW) == 0;
    look.link = look.exists && S_ISLNK(look.st.st_mode);
    if (look.link) {
      struct stat followed;
      look.exists = fstatat(target_.fd, path.c_str(), &followed, 0) == 0;
    }
    return look;
  }

  // The category heading when an optional package begins a new category,
  // and the package heading unless its text holds the category's title.
  bool Headings(const TocLine& entry) {
    if (entry.CategoryCode() != category_) {
      category_ = entry.CategoryCode();
      title_.reset();
      if (std::optional<std::string> title_line = FindCategoryTitle(toc_path_, category_)) {
        title_ = std::string(TocLine(*title_line).Text());
        if (!report_.Page()) return false;
        report_.CategoryHeading(*title_);
      }
    }
    if (!report_.Page()) return false;
    if (!title_ || !entry.MentionsTitle(*title_)) report_.PackageHeading(entry.Description());
    return true;
  }

  // With the size check, a regular file (a link is not checked: its size
  // is not the file's) whose size differs from its line's.
  bool CheckSize(const TocLine& entry, const Look& look) {
    if (!check_sizes_ || entry.EntryType() != 'F' || look.link || !S_ISREG(look.st.st_mode) ||
        static_cast<long long>(look.st.st_size) == entry.Size()) {
      return true;
    }
    if (!report_.Page()) return false;
    ++found_.different_sizes;
    report_.SizeDiffers(path_, entry.Size(), look.st.st_size);
    return true;
  }

  // With the record of the load: every recorded file at the entry's path
  // or below it whose content differs from what was written. Each is
  // looked at once, however many chosen entries lie above it.
  bool CheckContents() {
    if (!recorded_) return true;
    std::string path(WithoutTrailingSlashes(path_));
    if (auto at = recorded_->find(path); at != recorded_->end() && !CheckRecorded(at)) return false;
    // What lies below sorts after the directory's name and a slash, in one
    // stretch.
    std::string below = path + "/";
    for (auto at = recorded_->lower_bound(below);
         at != recorded_->end() && at->first.starts_with(below);) {
      if (!CheckRecorded(at++)) return false;
    }
    return true;
  }

  // Looks at one recorded file, once: it leaves the record.
  bool CheckRecorded(ChecksumList::iterator at) {
    std::string path = at->first;
    bool same = SameContents(path, at->second);
    recorded_->erase(at);
    if (same) return true;
    if (!report_.Page()) return false;
    ++found_.different_contents;
    report_.ContentDiffers(path);
    return true;
  }

  // Whether the regular file at `path` has the SHA-256 `hex`.
  bool SameContents(const std::string& path, const std::string& hex) const {
    int fd = openat(target_.fd, path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    std::string found;
    bool same =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Sha256OfFile(fd, found) && found == hex;
    close(fd);
    return same;
  }

  std::string toc_path_;
  InstallTarget target_;
  bool check_sizes_;
  // The record of the load, by path, while some is left to look at.
  std::optional<ChecksumList> recorded_;
  MissingReport report_;
  VerifyCounts found_;
  std::string category_ = "00";
  // The current category's title text; none when the table of contents has
  // no title line for it.
  std::optional<std::string> title_;
  std::string path_;
};

}  // namespace

VerifyCounts RunVER(const std::string& dist, const std::string& toc, const std::string& pak,
                    const InstallTarget& target, const Settings& settings) {
  LineReader in(pak);
  std::fputs("\n", stdout);
  // A table of contents named on the command line has an absolute path.
  bool check_sizes = settings.verify_sizes;
  std::string toc_path = !toc.empty() && toc[0] == '/' ? toc : dist + "/" + toc;
  std::optional<ChecksumList> recorded;
  if (settings.verify_contents) recorded = ReadRecordedSums(toc_path);
  Verifier verifier(toc_path, target, check_sizes, std::move(recorded));
  bool wanted = ProgressLine::Wanted(settings);
  ProgressLine progress("Verifying", wanted ? CountLines(pak) : 0, ProgressLine::Unit::kEntries,
                        wanted);
  uint64_t entries = 0;
  std::string_view line;
  while (in.Next(line)) {
    progress.Show(entries++);
    if (!verifier.Verify(TocLine(line))) break;
  }
  progress.Erase();
  VerifyCounts found = verifier.Found();
  std::fputs("\n", stdout);
  PrintCount(found.missing_files, Msg::kNoMissingFiles, Msg::kMissingFiles);
  PrintCount(found.missing_directories, Msg::kNoMissingDirectories, Msg::kMissingDirectories);
  if (check_sizes) std::printf("%lld files with a different size\n", found.different_sizes);
  if (settings.verify_contents) {
    std::printf("%lld files with a different content\n", found.different_contents);
  }
  std::fputs("\n", stdout);
  nprintf(Msg::kVerified);
  return found;
}
