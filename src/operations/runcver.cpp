#include "operations/runcver.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string_view>

#include "common/lineio.hpp"
#include "common/visibletext.hpp"
#include "messages/pager.hpp"
#include "messages/print.hpp"
#include "system/progressline.hpp"
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
    ProgressLine::HideCurrent();
    pager_.Count();
    std::fputs("\t   ", stdout);
    hprintf(message);
    std::fputc(' ', stdout);
    PutVisible(path);
    std::fputc('\n', stdout);
  }

  void SizeDiffers(std::string_view path, long long expected, long long found) {
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

}  // namespace

VerifyCounts RunVER(const std::string& dist, const std::string& toc, const std::string& pak,
                    const InstallTarget& target, bool check_sizes) {
  LineReader in(pak);
  std::fputs("\n", stdout);
  // A table of contents named on the command line has an absolute path.
  std::string toc_path = !toc.empty() && toc[0] == '/' ? toc : dist + "/" + toc;

  VerifyCounts found;
  ProgressLine progress("Verifying", ProgressLine::Wanted() ? CountLines(pak) : 0,
                        ProgressLine::Unit::kEntries, ProgressLine::Wanted());
  MissingReport report;
  uint64_t entries = 0;
  std::string category = "00";
  // The current category's title text; none when the table of contents has
  // no title line for it.
  std::optional<std::string> title;
  std::string_view line;
  std::string path;
  while (in.Next(line)) {
    progress.Show(entries++);
    TocLine entry(line);
    path.assign(entry.EntryWord());
    // One look for most entries: a link is followed only for whether its
    // target exists, and only its own status is free of the follow.
    struct stat st;
    bool exists = fstatat(target.fd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    bool link = exists && S_ISLNK(st.st_mode);
    if (link) {
      struct stat followed;
      exists = fstatat(target.fd, path.c_str(), &followed, 0) == 0;
    }

    if (entry.IsOptional()) {
      if (entry.CategoryCode() != category) {
        category = entry.CategoryCode();
        title.reset();
        if (std::optional<std::string> title_line = FindCategoryTitle(toc_path, category)) {
          title = std::string(TocLine(*title_line).Text());
          if (!report.Page()) break;
          report.CategoryHeading(*title);
        }
      }
      if (!report.Page()) break;
      if (!title || !entry.MentionsTitle(*title)) {
        report.PackageHeading(entry.Description());
      }
    }
    if (exists) {
      // A link is not checked: its size is not the file's.
      if (!check_sizes || entry.EntryType() != 'F' || link || !S_ISREG(st.st_mode)) continue;
      if (static_cast<long long>(st.st_size) == entry.Size()) continue;
      if (!report.Page()) break;
      ++found.different_sizes;
      report.SizeDiffers(path, entry.Size(), st.st_size);
      continue;
    }

    if (!report.Page()) break;
    if (entry.EntryType() == 'D') {
      ++found.missing_directories;
      report.Missing(Msg::kMissingDirectory, path);
    } else {
      ++found.missing_files;
      report.Missing(Msg::kMissingFile, path);
    }
  }

  progress.Erase();
  found.complete = !report.Ended();
  std::fputs("\n", stdout);
  PrintCount(found.missing_files, Msg::kNoMissingFiles, Msg::kMissingFiles);
  PrintCount(found.missing_directories, Msg::kNoMissingDirectories, Msg::kMissingDirectories);
  if (check_sizes) std::printf("%lld files with a different size\n", found.different_sizes);
  std::fputs("\n", stdout);
  nprintf(Msg::kVerified);
  return found;
}
