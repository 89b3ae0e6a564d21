#include "operations/runctar.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>

#include "catalogue/tocline.hpp"
#include "common/currentdirectory.hpp"
#include "common/entrypath.hpp"
#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/medium.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "operations/archivemembers.hpp"
#include "operations/landing.hpp"
#include "operations/tarbatch.hpp"
#include "operations/tarrequest.hpp"
#include "system/spawn.hpp"
#include "system/workingfiles.hpp"

namespace {

[[noreturn]] void FailLoading() {
  std::fputs("\n", stdout);
  nprintf(59);
  exite(1);
}

// A name or member that would be written where it must not fails the load
// before tar runs.
[[noreturn]] void Refuse(const Refusal& refusal) {
  std::fflush(stdout);
  PutVisible(refusal.name, stderr);
  std::fputs(": not extracted: ", stderr);
  std::fputs(refusal.reason.c_str(), stderr);
  std::fputs("\n", stderr);
  FailLoading();
}

[[noreturn]] void FailArchive(const std::string& archive, const std::string& why) {
  std::fflush(stdout);
  PutVisible(archive, stderr);
  std::fputs(": ", stderr);
  std::fputs(why.c_str(), stderr);
  std::fputs("\n", stderr);
  FailLoading();
}

// The compression form of the medium, or kPlain. Only a regular file counts:
// a fifo under the name would hold the run up.
int CompressionForm(const std::string& dist) {
  for (int form = 0; form < kCompressionForms; ++form) {
    int fd = OpenRegularFile(dist + "/" + ArchiveName(kProbeArchiveCode, 0, form));
    if (fd >= 0) {
      close(fd);
      return form;
    }
  }
  return kPlain;
}

void ReportNotStarted(const ChildEnd& end, const char* program) {
  if (end.started || end.error == 0) return;
  std::fflush(stdout);
  errno = end.error;
  std::perror(program);
}

// One load: the archives of the medium, what is known of the installation
// directory, and the kernel's confinement of tar.
class Loader {
 public:
  Loader(const std::string& dist, int variant, int list_files)
      : dist_(dist),
        variant_(variant < 0 || variant > 5 ? 0 : variant),
        form_(CompressionForm(dist)),
        list_files_(list_files),
        // tar runs in the current directory, the installation directory.
        root_fd_(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)),
        confinement_(Confinement::Beneath(root_fd_)),
        landing_(root_fd_, CurrentDirectory(), geteuid() == 0 && !confinement_.active()) {
    if (root_fd_ < 0) DieFor(".");
  }
  ~Loader() { close(root_fd_); }

  void Add(TarBatch& batch, std::string_view name) {
    if (name.empty()) return;
    Refusal refusal{std::string(name), "it leads outside the installation directory"};
    if (name.starts_with('/') || HasDotDot(name)) Refuse(refusal);
    batch.Add(name);
  }

  void Extract(TarBatch& batch) {
    const std::string& list = batch.Finish();
    // A run of lines without any entry path names nothing to extract.
    if (batch.count() == 0) return;
    std::string archive = dist_ + "/" + ArchiveName(batch.code(), variant_, form_);
    int fd = OpenRegularFile(archive);
    if (fd < 0) FailArchive(archive, errno != 0 ? std::strerror(errno) : "not a regular file");
    Judge(batch, archive, fd);
    TarRequest request = ChooseTarRequest(members_, batch, list_files_ != 0);
    std::string names = list;
    if (request.kind == TarRequest::Kind::kComplement) names = WriteExclusions(request);
    if (form_ == kPlain) {
      close(fd);
      ExtractPlain(archive, request, names);
    } else {
      ExtractCompressed(fd, request, names);
      close(fd);
    }
  }

 private:
  // The members the batch would extract must land inside; set-ID files
  // among them are named.
  void Judge(const TarBatch& batch, const std::string& archive, int fd) {
    std::string error;
    if (!ReadArchiveMembers(fd, members_, error)) {
      FailArchive(archive, "cannot read the members: " + error);
    }
    if (lseek(fd, 0, SEEK_SET) != 0) DieFor(archive);
    Refusal refusal;
    std::vector<std::string> set_id;
    auto selected = [&](std::string_view member) { return batch.Selects(member); };
    if (!landing_.Allows(members_, selected, refusal, set_id)) Refuse(refusal);
    for (const ArchiveMember& member : members_) {
      if ((member.mode & (S_ISUID | S_ISGID)) == 0 || !selected(member.name) ||
          member.type != ArchiveMember::Type::kFile) {
        continue;
      }
      std::fflush(stdout);
      std::fputs((member.mode & S_ISUID) != 0 ? "set-user-ID: " : "set-group-ID: ", stderr);
      PutVisible(member.name, stderr);
      std::fputs("\n", stderr);
    }
  }

  // The members to leave out, one per line, in a working file.
  static std::string WriteExclusions(const TarRequest& request) {
    std::string path = ScratchFile("EXC");
    LineWriter out(path);
    for (const std::string& name : request.excluded) out.Write(name);
    out.Close();
    return path;
  }

  void ExtractPlain(const std::string& archive, const TarRequest& request,
                    const std::string& list) {
    Command tar{TarArguments(archive, list_files_, request, list)};
    tar.confinement = &confinement_;
    ChildEnd end = RunCommand(tar);
    ReportNotStarted(end, "/bin/tar");
    if (!end.Succeeded()) FailLoading();
  }

  void ExtractCompressed(int fd, const TarRequest& request, const std::string& list) {
    Command gunzip{{"gunzip", "-c"}, fd};
    Command tar{TarArguments("-", list_files_, request, list)};
    tar.confinement = &confinement_;
    PipelineEnd ends = RunPipeline(gunzip, tar);
    ReportNotStarted(ends.first, "gunzip");
    ReportNotStarted(ends.second, "/bin/tar");
    if (!ends.first.Succeeded() || !ends.second.Succeeded()) FailLoading();
  }

  std::string dist_;
  int variant_;
  int form_;
  int list_files_;
  int root_fd_;
  Confinement confinement_;
  Landing landing_;
  std::vector<ArchiveMember> members_;
};

}  // namespace

void RunTAR(const std::string& dist, const std::string& pak, int variant, int list_files) {
  std::fputs("\n", stdout);
  std::optional<LineReader> in(std::in_place, pak);
  std::string_view line;
  if (!in->Next(line)) return;
  Loader loader(dist, variant, list_files);
  TarBatch batch(ScratchFile("LST"));
  batch.Start(TocLine(line).ArchiveCode());
  do {
    TocLine entry(line);
    if (entry.ArchiveCode() != batch.code()) {
      loader.Extract(batch);
      batch.Start(entry.ArchiveCode());
    }
    loader.Add(batch, entry.EntryWord());
  } while (in->Next(line));
  loader.Extract(batch);
  in.reset();
  std::fputs("\n", stdout);
  nprintf(60);
}
