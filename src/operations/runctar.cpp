#include "operations/runctar.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "common/entrypath.hpp"
#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/medium.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/print.hpp"
#include "operations/archivelisting.hpp"
#include "operations/archivemembers.hpp"
#include "operations/landing.hpp"
#include "operations/receipt.hpp"
#include "operations/tarbatch.hpp"
#include "operations/tarrequest.hpp"
#include "system/interrupts.hpp"
#include "system/notice.hpp"
#include "system/otherswrite.hpp"
#include "system/progressline.hpp"
#include "system/readposition.hpp"
#include "system/sandbox.hpp"
#include "system/spawn.hpp"
#include "system/workingfiles.hpp"
#include "toc/tocline.hpp"

namespace {

[[noreturn]] void FailLoading() {
  ProgressLine::HideCurrent();
  std::fputs("\n", stdout);
  nprintf(Msg::kLoadFailed);
  exite(1);
}

// A name or member that would be written where it must not fails the load
// before tar runs.
[[noreturn]] void Refuse(const Refusal& refusal) {
  Notice("", refusal.name, ": not extracted: " + refusal.reason);
  FailLoading();
}

[[noreturn]] void FailArchive(const std::string& archive, const std::string& why) {
  Notice("", archive, ": " + why);
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

// How far the file open as `fd` has been read through that descriptor.
uint64_t PositionOf(int fd) {
  off_t at = lseek(fd, 0, SEEK_CUR);
  return at > 0 ? static_cast<uint64_t>(at) : 0;
}

void ReportNotStarted(const ChildEnd& end, const char* program) {
  if (!end.started && end.error != 0) NoticeError(program, end.error);
}

// One load: the archives of the medium, what is known of the installation
// directory, and the confinement of tar.
class Loader {
 public:
  Loader(const std::string& dist, int variant, int list_files, const InstallTarget& target,
         uint64_t progress_total, bool show_progress)
      : dist_(dist),
        variant_(variant < 0 || variant > 5 ? 0 : variant),
        form_(CompressionForm(dist)),
        list_files_(list_files),
        root_fd_(target.fd),
        sandbox_(Sandbox::Beneath(root_fd_, target.path)),
        // As root without a private root, what another user could change
        // while tar runs is refused.
        refuse_changeable_(geteuid() == 0 && !sandbox_.private_root()),
        landing_(root_fd_, target.path, refuse_changeable_),
        progress_("Loading", progress_total, ProgressLine::Unit::kBytes, show_progress) {
    if (root_fd_ < 0) DieFor(target.path);
  }
  ~Loader() {
    if (ahead_.joinable()) ahead_.join();
  }

  // The file name of the archive of `code`.
  std::string ArchiveOf(std::string_view code) const {
    return dist_ + "/" + ArchiveName(code, variant_, form_);
  }

  // The load is complete: the line goes.
  void Done() { progress_.Erase(); }

  void Add(TarBatch& batch, std::string_view name) {
    if (name.empty()) return;
    Refusal refusal{std::string(name), kLeadsOutside};
    if (name.starts_with('/') || HasDotDot(name)) Refuse(refusal);
    batch.Add(name);
  }

  // Extracts the batch; `next_code` is the archive code of the batch after
  // it, if any, whose members are listed meanwhile.
  void Extract(TarBatch& batch, std::string_view next_code) {
    const std::string& list = batch.Finish();
    // A run of lines without any entry path names nothing to extract.
    if (batch.count() == 0) return;
    ListedArchive archive = TakeListing(ArchiveOf(batch.code()));
    Judge(batch, archive);
    if (!next_code.empty()) ListAhead(ArchiveOf(next_code));
    TarRequest request = ChooseTarRequest(archive.members(), batch, list_files_ != 0);
    std::string names = list;
    if (request.kind == TarRequest::Kind::kComplement) names = WriteExclusions(request);
    struct stat st;
    uint64_t size = fstat(archive.fd(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    ExtractFrom(archive.fd(), request, names);
    done_ += size;
    progress_.Show(done_);
  }

 private:
  // The listing of `path`: the one made ahead while the batch before ran,
  // or one made now.
  ListedArchive TakeListing(const std::string& path) {
    if (ahead_.joinable()) ahead_.join();
    ListedArchive listed = std::move(ahead_listing_);
    if (listed.path() != path) listed.List(path, form_ != kPlain, sandbox_);
    return listed;
  }

  // The members the batch would extract must land inside; set-ID files
  // among them are named.
  void Judge(const TarBatch& batch, const ListedArchive& archive) {
    archive.ShowWhatWasSaid();
    if (archive.fd() < 0) FailArchive(archive.path(), std::strerror(archive.open_error()));
    if (refuse_changeable_) {
      struct stat st;
      if (fstat(archive.fd(), &st) != 0) DieFor(archive.path());
      if (OthersCanWrite(st)) {
        Refuse({archive.path(),
                "another user can change this archive, and tar runs as root without a private "
                "root"});
      }
    }
    if (!archive.error().empty()) FailArchive(archive.path(), archive.error());
    Refusal refusal;
    std::vector<const ArchiveMember*> set_id;
    auto selected = [&](std::string_view member) { return batch.Selects(member); };
    if (!landing_.Allows(archive.members(), selected, refusal, set_id)) Refuse(refusal);
    for (const ArchiveMember* member : set_id) {
      Notice((member->mode & S_ISUID) != 0 ? "set-user-ID: " : "set-group-ID: ", member->name, "");
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

  // tar reads the archive from the descriptor that was listed; for a
  // compressed one gunzip reads it and tar reads gunzip. How far the load
  // has come is how far tar has read its own opening of the file, or how
  // far gunzip has read the installer's.
  void ExtractFrom(int fd, const TarRequest& request, const std::string& list) {
    bool plain = form_ == kPlain;
    Command tar{TarArguments(ArchiveOnStandardInput(plain), list_files_, request, list)};
    tar.sandbox = &sandbox_;
    WaitTick tick = nullptr;
    int tar_fd = -1;
    if (progress_.active()) {
      tick = [&](const std::vector<pid_t>& running) {
        uint64_t at = plain ? ReadPosition(running.back(), fd, tar_fd) : PositionOf(fd);
        progress_.Show(done_ + at);
      };
    }
    if (plain) {
      tar.stdin_fd = fd;
      ChildEnd end = RunCommand(tar, tick);
      ReportNotStarted(end, "/bin/tar");
      if (!end.Succeeded()) FailLoading();
      return;
    }
    Command gunzip{{"gunzip", "-c"}, fd};
    PipelineEnd ends = RunPipeline(gunzip, tar, tick);
    ReportNotStarted(ends.first, "gunzip");
    ReportNotStarted(ends.second, "/bin/tar");
    if (!ends.first.Succeeded() || !ends.second.Succeeded()) FailLoading();
  }

  // Lists the members of `archive` in a thread of its own while tar
  // extracts the batch before it: listing them costs the load nothing
  // then. The thread never sees an interrupt; the handler stays the main
  // thread's, and it ends the listing's children with the rest.
  void ListAhead(const std::string& archive) {
    InterruptsHeld held;
    ahead_ = std::thread(
        [this, archive] { ahead_listing_.List(archive, form_ != kPlain, sandbox_, true); });
  }

  std::string dist_;
  int variant_;
  int form_;
  int list_files_;
  int root_fd_;  // the installation directory, held by the caller
  Sandbox sandbox_;
  bool refuse_changeable_;
  Landing landing_;
  ProgressLine progress_;
  uint64_t done_ = 0;
  std::thread ahead_;
  ListedArchive ahead_listing_;
};

// Every archive the load needs must open as a regular file under the name
// it will be read by, before anything is unpacked: a missing one fails the
// load at once. Gives the bytes the load reads (every batch reads its
// archive once).
uint64_t CheckArchives(const std::string& pak, const std::string& dist, int variant) {
  int form = CompressionForm(dist);
  if (variant < 0 || variant > 5) variant = 0;
  LineReader in(pak);
  std::string_view line;
  std::string code;
  bool named = false;  // the run of lines of `code` names something to extract
  uint64_t total = 0;
  auto check = [&] {
    if (!named) return;
    std::string archive = dist + "/" + ArchiveName(code, variant, form);
    int fd = OpenRegularFile(archive);
    if (fd < 0) FailArchive(archive, errno != 0 ? std::strerror(errno) : "not a regular file");
    struct stat st;
    if (fstat(fd, &st) == 0) total += static_cast<uint64_t>(st.st_size);
    close(fd);
  };
  for (bool first = true; in.Next(line); first = false) {
    TocLine entry(line);
    if (first || entry.ArchiveCode() != code) {
      check();
      code = entry.ArchiveCode();
      named = false;
    }
    named = named || !entry.EntryWord().empty();
  }
  check();
  return total;
}

}  // namespace

void RunTAR(const std::string& dist, const std::string& toc, const std::string& pak, int variant,
            int list_files, const InstallTarget& target, const std::string& receipt) {
  std::fputs("\n", stdout);
  std::optional<LineReader> in(std::in_place, pak);
  std::string_view line;
  if (!in->Next(line)) return;
  uint64_t bytes = CheckArchives(pak, dist, variant);
  // Before the first extraction: a failed or interrupted load can be
  // removed with it.
  if (!receipt.empty()) WriteReceipt(toc, pak, receipt);
  // tar's listing owns the screen when the names are shown.
  bool show_progress = list_files == 0 && ProgressLine::Wanted();
  Loader loader(dist, variant, list_files, target, show_progress ? bytes : 0, show_progress);
  TarBatch batch(ScratchFile("LST"));
  batch.Start(TocLine(line).ArchiveCode());
  do {
    TocLine entry(line);
    if (entry.ArchiveCode() != batch.code()) {
      loader.Extract(batch, entry.ArchiveCode());
      batch.Start(entry.ArchiveCode());
    }
    loader.Add(batch, entry.EntryWord());
  } while (in->Next(line));
  loader.Extract(batch, "");
  loader.Done();
  in.reset();
  std::fputs("\n", stdout);
  nprintf(Msg::kLoaded);
}
