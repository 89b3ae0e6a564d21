#include "operations/runctar.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_set>

#include "catalogue/tocline.hpp"
#include "common/textfile.hpp"
#include "common/exitrequest.hpp"
#include "system/workingfiles.hpp"
#include "messages/print.hpp"
#include "operations/containment.hpp"
#include "system/spawn.hpp"

namespace {

// Plain archive suffixes by table-of-contents variant index; the archives of
// a medium are named like its table of contents.
const char* const kPlainSuffix[6] = {".tar", ".tar;1", ".tar-1", ".TAR", ".TAR;1", ".TAR-1"};

// The compressed name forms, probed through archive code 02.
const char* const kCompressedProbe[3] = {"02tar.z", "02tar.Z", "02TAR.Z"};
const char* const kCompressedSuffix[3] = {"tar.z", "tar.Z", "TAR.Z"};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The compression form 0..2 of the medium, or -1 for plain archives.
int CompressionForm(const std::string& dist) {
  for (int form = 0; form < 3; ++form) {
    int fd = open((dist + "/" + kCompressedProbe[form]).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      close(fd);
      return form;
    }
  }
  return -1;
}

// Lets the set of given names be searched with a string_view.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

std::string_view WithoutTrailingSlashes(std::string_view name) {
  while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  return name;
}

[[noreturn]] void FailLoading() {
  std::fputs("\n", stdout);
  nprintf(59);
  exite(1);
}

// tar follows a symbolic link that stands in the installation directory
// where a member's parent directory belongs, and would write outside. Such
// an entry (and an absolute one, or one with a ".." component) fails the
// load before tar runs.
[[noreturn]] void RefuseEntry(std::string_view name) {
  std::fflush(stdout);
  std::fwrite(name.data(), 1, name.size(), stderr);
  std::fputs(": not extracted: it leads outside the installation directory\n", stderr);
  FailLoading();
}

// The member names of one run of lines with one archive code, written
// NUL-separated to a list file that tar reads. tar fails on a name that
// matches nothing new, so a name that equals or lies below one already
// listed is left out: extracting the earlier one brings it.
class Batch {
 public:
  explicit Batch(const std::string& list_path) : list_path_(list_path) {}

  // Earlier batches are on disk by now: the containment of the new one is
  // judged on what they made.
  void Start(std::string_view code) {
    code_ = code;
    given_.clear();
    count_ = 0;
    containment_ = Containment();
    list_.reset(std::fopen(list_path_.c_str(), "w"));
    if (!list_) DieFor(list_path_);
  }

  const std::string& code() const { return code_; }
  size_t count() const { return count_; }

  void Add(std::string_view name) {
    if (name.empty() || Covered(name)) return;
    if (!containment_.Allows(name)) RefuseEntry(name);
    given_.emplace(WithoutTrailingSlashes(name));
    std::fwrite(name.data(), 1, name.size(), list_.get());
    std::fputc('\0', list_.get());
    ++count_;
  }

  // Completes the list file; returns its path.
  const std::string& Finish() {
    if (std::fflush(list_.get()) != 0 || std::ferror(list_.get())) DieFor(list_path_);
    list_.reset();
    return list_path_;
  }

 private:
  bool Covered(std::string_view name) const {
    name = WithoutTrailingSlashes(name);
    if (given_.contains(name)) return true;
    for (size_t slash = name.find('/'); slash != std::string_view::npos;
         slash = name.find('/', slash + 1)) {
      if (slash > 0 && given_.contains(name.substr(0, slash))) return true;
    }
    return false;
  }

  std::string list_path_;
  std::string code_;
  std::unordered_set<std::string, NameHash, std::equal_to<>> given_;
  size_t count_ = 0;
  Containment containment_;
  File list_;
};

void ReportNotStarted(const ChildEnd& end, const char* program) {
  if (end.started || end.error == 0) return;
  std::fflush(stdout);
  errno = end.error;
  std::perror(program);
}

std::vector<std::string> TarArguments(const std::string& archive, int list_files,
                                      const std::string& list) {
  return {"/bin/tar", list_files ? "xvf" : "xf", archive, "--force-local",
          "--verbatim-files-from", "--null", "--files-from=" + list};
}

void ExtractPlain(const std::string& archive, int list_files, const std::string& list) {
  ChildEnd tar = RunCommand({TarArguments(archive, list_files, list), -1});
  ReportNotStarted(tar, "/bin/tar");
  if (!tar.Succeeded()) FailLoading();
}

void ExtractCompressed(const std::string& archive, int list_files, const std::string& list) {
  int fd = open(archive.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fflush(stdout);
    std::perror(archive.c_str());
    FailLoading();
  }
  PipelineEnd ends =
      RunPipeline({{"gunzip", "-c"}, fd}, {TarArguments("-", list_files, list), -1});
  close(fd);
  ReportNotStarted(ends.first, "gunzip");
  ReportNotStarted(ends.second, "/bin/tar");
  if (!ends.first.Succeeded() || !ends.second.Succeeded()) FailLoading();
}

void Extract(Batch& batch, const std::string& dist, int form, int variant, int list_files) {
  const std::string& list = batch.Finish();
  // A run of lines without any entry path names nothing to extract.
  if (batch.count() == 0) return;
  std::string archive = dist + "/" + batch.code();
  if (form >= 0) {
    ExtractCompressed(archive + kCompressedSuffix[form], list_files, list);
  } else {
    ExtractPlain(archive + kPlainSuffix[variant], list_files, list);
  }
}

}  // namespace

void RunTAR(const std::string& dist, const std::string& pak, int variant, int list_files) {
  std::fputs("\n", stdout);
  File file(OpenOrDie(pak, "r"));
  int form = CompressionForm(dist);
  if (variant < 0 || variant > 5) variant = 0;

  std::string line;
  if (!ReadLine(file.get(), line)) return;
  Batch batch(ScratchFile("LST"));
  batch.Start(TocLine(line).ArchiveCode());
  do {
    TocLine entry(line);
    if (entry.ArchiveCode() != batch.code()) {
      Extract(batch, dist, form, variant, list_files);
      batch.Start(entry.ArchiveCode());
    }
    batch.Add(entry.EntryWord());
  } while (ReadLine(file.get(), line));
  Extract(batch, dist, form, variant, list_files);
  file.reset();
  std::fputs("\n", stdout);
  nprintf(60);
}
