#include "operations/runctar.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "catalogue/tocline.hpp"
#include "common/entrypath.hpp"
#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/medium.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "operations/containment.hpp"
#include "system/spawn.hpp"
#include "system/workingfiles.hpp"

namespace {

// The compression form of the medium, or kPlain.
int CompressionForm(const std::string& dist) {
  for (int form = 0; form < kCompressionForms; ++form) {
    std::string probe = dist + "/" + ArchiveName(kProbeArchiveCode, 0, form);
    int fd = open(probe.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      close(fd);
      return form;
    }
  }
  return kPlain;
}

// Lets the set of given names be searched with a string_view.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

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
  PutVisible(name, stderr);
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
    list_.emplace(list_path_);
  }

  const std::string& code() const { return code_; }
  size_t count() const { return count_; }

  void Add(std::string_view name) {
    if (name.empty() || Covered(name)) return;
    if (!containment_.Allows(name)) RefuseEntry(name);
    given_.emplace(WithoutTrailingSlashes(name));
    list_->Write(name, '\0');
    ++count_;
  }

  // Completes the list file; returns its path.
  const std::string& Finish() {
    list_->Close();
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
  std::optional<LineWriter> list_;
};

void ReportNotStarted(const ChildEnd& end, const char* program) {
  if (end.started || end.error == 0) return;
  std::fflush(stdout);
  errno = end.error;
  std::perror(program);
}

std::vector<std::string> TarArguments(const std::string& archive, int list_files,
                                      const std::string& list) {
  std::vector<std::string> args = {"/bin/tar", list_files ? "xvf" : "xf", archive, "--force-local"};
  // The names reach tar exactly as listed, one per NUL byte: never an option.
  args.insert(args.end(), {"--verbatim-files-from", "--null", "--files-from=" + list});
  return args;
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
  PipelineEnd ends = RunPipeline({{"gunzip", "-c"}, fd}, {TarArguments("-", list_files, list), -1});
  close(fd);
  ReportNotStarted(ends.first, "gunzip");
  ReportNotStarted(ends.second, "/bin/tar");
  if (!ends.first.Succeeded() || !ends.second.Succeeded()) FailLoading();
}

void Extract(Batch& batch, const std::string& dist, int form, int variant, int list_files) {
  const std::string& list = batch.Finish();
  // A run of lines without any entry path names nothing to extract.
  if (batch.count() == 0) return;
  std::string archive = dist + "/" + ArchiveName(batch.code(), variant, form);
  if (form == kPlain) {
    ExtractPlain(archive, list_files, list);
  } else {
    ExtractCompressed(archive, list_files, list);
  }
}

}  // namespace

void RunTAR(const std::string& dist, const std::string& pak, int variant, int list_files) {
  std::fputs("\n", stdout);
  std::optional<LineReader> in(std::in_place, pak);
  int form = CompressionForm(dist);
  if (variant < 0 || variant > 5) variant = 0;

  std::string_view line;
  if (!in->Next(line)) return;
  Batch batch(ScratchFile("LST"));
  batch.Start(TocLine(line).ArchiveCode());
  do {
    TocLine entry(line);
    if (entry.ArchiveCode() != batch.code()) {
      Extract(batch, dist, form, variant, list_files);
      batch.Start(entry.ArchiveCode());
    }
    batch.Add(entry.EntryWord());
  } while (in->Next(line));
  Extract(batch, dist, form, variant, list_files);
  in.reset();
  std::fputs("\n", stdout);
  nprintf(60);
}
