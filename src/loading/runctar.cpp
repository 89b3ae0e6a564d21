#include "loading/runctar.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/entrypath.hpp"
#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/medium.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "loading/archivelisting.hpp"
#include "loading/archivemembers.hpp"
#include "loading/batchextraction.hpp"
#include "loading/footprint.hpp"
#include "loading/landing.hpp"
#include "loading/listingsahead.hpp"
#include "loading/loadruns.hpp"
#include "loading/memberindex.hpp"
#include "loading/sidebyside.hpp"
#include "loading/tarbatch.hpp"
#include "loading/tarrequest.hpp"
#include "messages/print.hpp"
#include "operations/loadrecord.hpp"
#include "operations/receipt.hpp"
#include "session/runreport.hpp"
#include "system/jobs.hpp"
#include "system/notice.hpp"
#include "system/otherswrite.hpp"
#include "system/programneeds.hpp"
#include "system/programs.hpp"
#include "system/progressline.hpp"
#include "system/sandbox.hpp"
#include "system/workingfiles.hpp"
#include "toc/tocline.hpp"

namespace {

[[noreturn]] void FailLoading() {
  ProgressLine::HideCurrent();
  std::fputs("\n", stdout);
  nprintf(Msg::kLoadFailed);
  exite(1);
}

[[noreturn]] void FailArchive(const std::string& archive, const std::string& why) {
  Notice("", archive, ": " + why);
  FailLoading();
}

// Every entry of the chosen lines `pak`, into the run's report, once the
// whole load has ended well.
void ReportLoaded(const std::string& pak) {
  LineReader lines(pak);
  std::string_view line;
  while (lines.Next(line)) {
    if (std::string_view path = TocLine(line).EntryWord(); !path.empty()) {
      ReportEntry("loaded", path);
    }
  }
}

// What the load needs and lacks, a line each: the load fails before it
// begins.
void FailIfLacking(const std::vector<std::string>& lacked) {
  if (lacked.empty()) return;
  for (const std::string& line : lacked) Notice("install: ", line, "");
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

// The names of the medium's archives: the compression form, found once, and
// the name form of a plain archive.
struct ArchiveNames {
  ArchiveNames(const std::string& dist, int variant)
      : dist(dist),
        variant(variant < 0 || variant > 5 ? 0 : variant),
        form(CompressionForm(dist)) {}
  // The file name of the archive of `code`.
  std::string Of(std::string_view code) const {
    return dist + "/" + ArchiveName(code, variant, form);
  }
  bool compressed() const { return form != kPlain; }

  std::string dist;
  int variant;
  int form;
};

// The programs of the load, found before anything is unpacked, never in the
// installation directory or on the medium; the load fails when gunzip is
// needed and none is left.
Programs ProgramsOfTheLoad(const ArchiveNames& names, const std::string& root_path,
                           const Settings& settings) {
  Programs programs;
  if (!FindPrograms(names.compressed(), {root_path, names.dist}, settings, programs)) {
    FailArchive("gunzip",
                "not found in PATH outside the installation directory and the medium (an "
                "absolute folder that only root and you can change)");
  }
  FailIfLacking(LackedNeeds(programs, {.tar = true}));
  return programs;
}

// Whether tar runs without a private root. It then reads a plain archive
// through the system's own /dev/fd, which must be there.
bool WithoutPrivateRoot(const Sandbox& sandbox, bool compressed) {
  if (sandbox.private_root()) return false;
  if (!compressed) FailIfLacking(LackedNeeds(sandbox.programs(), {.dev_fd = true}));
  return true;
}

// The archive of every batch that names something to extract, in order,
// and the bytes the load reads (every batch reads its archive once).
struct ArchivesOfTheLoad {
  std::vector<std::string> archives;
  uint64_t bytes = 0;
};

// A run of lines of the selection with one archive code: where it begins
// in the file, how many lines, and whether one names something to extract.
struct LineRun {
  std::string code;
  uint64_t at = 0;
  size_t lines = 0;
  bool named = false;
};

// The runs of lines of the selection, read once.
std::vector<LineRun> LineRuns(LineReader& pak) {
  std::vector<LineRun> runs;
  std::string_view line;
  for (uint64_t at = pak.Offset(); pak.Next(line); at = pak.Offset()) {
    TocLine entry(line);
    if (runs.empty() || entry.ArchiveCode() != runs.back().code) {
      runs.push_back({std::string(entry.ArchiveCode()), at});
    }
    ++runs.back().lines;
    runs.back().named = runs.back().named || !entry.EntryWord().empty();
  }
  return runs;
}

// Whether an archive comes back in a later run of lines that names
// something: its batches then go to one tar run where they can.
bool ArchivesComeBack(const std::vector<LineRun>& runs) {
  std::unordered_set<std::string_view> seen;
  for (const LineRun& run : runs) {
    if (run.named && !seen.insert(run.code).second) return true;
  }
  return false;
}

// What a reader of one run of lines reads at first: most runs are a few
// lines long.
constexpr size_t kFewLines = 4096;

// How much a listing made ahead yields to the extraction beside it.
constexpr int kAheadNiceness = 10;

// Why a batch stops the load: "NAME: AFTER" on standard error, then
// message 59.
struct Stop {
  std::string name;
  std::string after;
};

// One load: the archives of the medium, what is known of the installation
// directory, the confinement of tar, and the batches extracted side by
// side.
class Loader {
 public:
  Loader(const ArchiveNames& archive_names, bool names_shown, const InstallTarget& target,
         const Settings& settings, const MediumSums& sums, const ReceiptPlace& receipt,
         std::vector<std::string> archives, uint64_t progress_total, bool show_progress)
      : archive_names_(archive_names),
        sums_(sums),
        names_shown_(names_shown),
        // tar's listing owns the screen when the names are shown: one
        // batch after another then.
        jobs_(names_shown ? 1 : WantedJobs(settings.jobs)),
        dry_run_(settings.dry_run),
        root_fd_(target.fd),
        sandbox_(Sandbox::Beneath(root_fd_, target.path,
                                  ProgramsOfTheLoad(archive_names, target.path, settings),
                                  settings.confine)),
        // Without a private root, what another user could change while tar
        // runs is refused.
        refuse_changeable_(WithoutPrivateRoot(sandbox_, archive_names_.compressed())),
        landing_(root_fd_, target.path, refuse_changeable_),
        // One after another, the listing made ahead yields to the
        // extraction beside it; side by side, listings are what the next
        // extractions wait for.
        listings_(std::move(archives), archive_names_.compressed(), sandbox_, sums_,
                  !receipt.empty(), static_cast<size_t>(jobs_), jobs_ == 1 ? kAheadNiceness : 0),
        record_(receipt, root_fd_, target.path),
        progress_("Loading", progress_total, ProgressLine::Unit::kBytes, show_progress),
        beside_(jobs_, [this](uint64_t read) { progress_.Show(done_ + read); }) {
    if (root_fd_ < 0) DieFor(target.path);
    if (!sandbox_.unusable().empty())
      FailArchive(target.path, "nothing extracted: " + sandbox_.unusable());
    // One list of names for every batch that can be running, and one for
    // the batch being read.
    for (int slot = 0; slot <= jobs_; ++slot) {
      batches_.push_back(std::make_unique<TarBatch>(ScratchFile(SlotName("LST", slot))));
    }
  }

  // The batch to read next, begun for archive code `code`: one whose list
  // no running tar reads.
  TarBatch& NextBatch(std::string_view code) {
    // At most `jobs_` run at once, so one of the lists is free at once.
    for (;;) {
      for (size_t slot = 0; slot < batches_.size(); ++slot) {
        if (beside_.SlotInUse(static_cast<int>(slot))) continue;
        reading_slot_ = static_cast<int>(slot);
        batches_[slot]->Start(code);
        return *batches_[slot];
      }
      beside_.WaitForAnEnd();
    }
  }

  void Add(TarBatch& batch, std::string_view name) {
    if (std::optional<Stop> stop = AddName(batch, name)) StopLoading(*stop);
  }

  // Extracts the batch, or starts it beside the batches running.
  void Extract(TarBatch& batch) {
    const std::string& list = batch.Finish();
    // A run of lines without any entry path names nothing to extract.
    if (batch.count() == 0) return;
    ListedArchive archive = listings_.Take(listed_++, archive_names_.Of(batch.code()));
    Footprint footprint(++judged_);
    std::vector<RecordedMember> recorded;
    if (std::optional<Stop> stop =
            Judge(batch, archive, jobs_ > 1 ? &footprint : nullptr, nullptr, &recorded)) {
      StopLoading(*stop);
    }
    TarRequest request = ChooseTarRequest(archive.members(), batch, names_shown_);
    if (dry_run_) {
      ShowWouldExtract(archive, batch, request.fails);
      return;
    }
    int slot = reading_slot_;
    // A batch tar will fail on runs after every batch before it, alone,
    // as it would one after another.
    if (jobs_ == 1 || request.fails) {
      ExtractRun(archive, request, list, slot);
      record_.Add(recorded);
      return;
    }
    Extraction extraction = ExtractionOf(archive, request, list, slot);
    uint64_t size = SizeOf(archive);
    archive.ForgetMembers();
    auto taken = [this, recorded = std::move(recorded)] { record_.Add(recorded); };
    if (!beside_.Start(std::move(archive), std::move(footprint), std::move(extraction), size, slot,
                       record_.active() ? std::function<void()>(taken) : nullptr)) {
      FailLoading();
    }
  }

  // A load whose archives come back in later runs of lines: each archive
  // is listed once, every batch is judged first, in order, and the batches
  // of one archive then go to one tar run where nothing between them must
  // come first (GatherRuns). What fails stops the load after the batches
  // before it, as one after another.
  void LoadInRuns(const LineReader& pak, const std::vector<LineRun>& line_runs) {
    std::unordered_map<std::string, ListedArchive> listed;
    std::unordered_map<std::string, MemberIndex> indexed;
    std::vector<JudgedBatch> judged;
    std::vector<const LineRun*> of_batch;
    std::vector<std::vector<RecordedMember>> recorded;
    std::optional<Stop> stop;
    TarBatch& batch = *batches_[0];
    for (const LineRun& lines : line_runs) {
      if (!lines.named) continue;
      if ((stop = ReadBatch(pak, {&lines}, batch))) break;
      batch.Finish();
      std::string archive = archive_names_.Of(lines.code);
      auto [at, fresh] = listed.try_emplace(archive);
      if (fresh) {
        at->second.List(archive, archive_names_.compressed(), sandbox_, sums_, record_.active());
      }
      const MemberIndex& index = indexed.try_emplace(archive, at->second.members()).first->second;
      JudgedBatch judging{lines.code, Footprint(++judged_)};
      std::vector<MemberView> selected = index.Selected(batch, judging.fails);
      recorded.emplace_back();
      if ((stop = Judge(batch, at->second, &judging.footprint, &selected, &recorded.back()))) break;
      judged.push_back(std::move(judging));
      of_batch.push_back(&lines);
    }
    for (const std::vector<size_t>& run : GatherRuns(judged)) {
      std::vector<const LineRun*> lines;
      for (size_t index : run) lines.push_back(of_batch[index]);
      ReadBatch(pak, lines, batch);
      const ListedArchive& archive = listed[archive_names_.Of(batch.code())];
      if (lseek(archive.fd(), 0, SEEK_SET) != 0) DieFor(archive.path());
      const std::string& list = batch.Finish();
      TarRequest request = ChooseTarRequest(archive.members(), batch, names_shown_);
      if (dry_run_) {
        ShowWouldExtract(archive, batch, request.fails);
        continue;
      }
      ExtractRun(archive, request, list, 0, run.size());
      for (size_t index : run) record_.Add(recorded[index]);
    }
    if (stop) StopLoading(*stop);
  }

  // The load is complete once the batches still running have ended: the
  // line goes, and the record says it is whole.
  void Finish() {
    if (!beside_.Settle()) FailLoading();
    progress_.Erase();
    record_.Complete();
  }

 private:
  // How tar extracts `request` of `archive`: the list of names `list`, or
  // the members to leave out, written for `slot`.
  Extraction ExtractionOf(const ListedArchive& archive, const TarRequest& request,
                          const std::string& list, int slot) {
    std::string names = list;
    if (request.kind == TarRequest::Kind::kComplement) names = WriteExclusions(request, slot);
    return {archive.fd(),
            archive_names_.compressed(),
            TarArguments(ArchiveOnStandardInput(!archive_names_.compressed()), names_shown_,
                         request, names),
            &sandbox_,
            -1,
            root_fd_};
  }

  // The bytes of `archive`, for the progress.
  static uint64_t SizeOf(const ListedArchive& archive) {
    struct stat st;
    return fstat(archive.fd(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  }

  // Extracts `request` of the judged `archive` here, after every batch
  // running beside; it stands for `batches` runs of lines in the progress.
  void ExtractRun(const ListedArchive& archive, const TarRequest& request, const std::string& list,
                  int slot, size_t batches = 1) {
    Extraction extraction = ExtractionOf(archive, request, list, slot);
    if (!beside_.Settle()) FailLoading();
    ExtractHere(extraction);
    done_ += SizeOf(archive) * batches;
    progress_.Show(done_ + beside_.Read());
  }

  // Adds the entry path `name` to `batch`; why the load stops when it leads
  // outside.
  static std::optional<Stop> AddName(TarBatch& batch, std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (name.starts_with('/') || HasDotDot(name)) {
      return Stop{std::string(name), std::string(": not extracted: ") + kLeadsOutside};
    }
    batch.Add(name);
    return std::nullopt;
  }

  // Reads the lines of `runs` (of one archive code) into `batch`; why the
  // load stops when a name leads outside.
  std::optional<Stop> ReadBatch(const LineReader& pak, const std::vector<const LineRun*>& runs,
                                TarBatch& batch) {
    batch.Start(runs.front()->code);
    std::string_view line;
    for (const LineRun* run : runs) {
      LineReader again(pak.fd(), "PAK", run->at, kFewLines);
      for (size_t n = 0; n < run->lines && again.Next(line); ++n) {
        if (std::optional<Stop> stop = AddName(batch, TocLine(line).EntryWord())) return stop;
      }
    }
    return std::nullopt;
  }

  // The name of a working file for the batch of `slot`: the first keeps
  // the plain name.
  static std::string SlotName(const char* name, int slot) {
    return slot == 0 ? name : name + std::to_string(slot + 1);
  }

  // The members the batch would extract must land inside; set-ID files
  // among them are named. What they touch goes into `footprint`, when
  // given; where a load is recorded, what they are and where they land
  // into `recorded`.
  std::optional<Stop> Judge(const TarBatch& batch, const ListedArchive& archive,
                            Footprint* footprint, const std::vector<MemberView>* selected_members,
                            std::vector<RecordedMember>* recorded) {
    archive.ShowWhatWasSaid();
    if (archive.fd() < 0)
      return Stop{archive.path(), ": " + std::string(std::strerror(archive.open_error()))};
    if (refuse_changeable_) {
      struct stat st;
      if (fstat(archive.fd(), &st) != 0) DieFor(archive.path());
      if (OthersCanWrite(st)) {
        return Stop{archive.path(),
                    ": not extracted: another user can change this archive, and tar runs "
                    "without a private root"};
      }
    }
    if (!archive.error().empty()) return Stop{archive.path(), ": " + archive.error()};
    Refusal refusal;
    std::vector<MemberView> set_id;
    auto selected = [&](std::string_view member) { return batch.Selects(member); };
    auto every = [](std::string_view) { return true; };
    std::vector<std::string> places;
    std::vector<std::string>* landed = record_.active() ? &places : nullptr;
    bool allowed =
        selected_members
            ? landing_.Allows(*selected_members, every, refusal, set_id, landed, footprint)
            : landing_.Allows(archive.members(), selected, refusal, set_id, landed, footprint);
    if (!allowed) return Stop{refusal.name, ": not extracted: " + refusal.reason};
    if (landed) {
      if (selected_members) {
        Record(*selected_members, every, places, *recorded);
      } else {
        Record(archive.members(), selected, places, *recorded);
      }
    }
    for (const MemberView& member : set_id) {
      Notice((member.mode & S_ISUID) != 0 ? "set-user-ID: " : "set-group-ID: ", member.name, "");
    }
    return std::nullopt;
  }

  // What each member `selected` takes is and where it lands (`places`, in
  // the same order, taken from there), for the record of the load.
  template <typename Members, typename Selected>
  static void Record(const Members& members, Selected selected, std::vector<std::string>& places,
                     std::vector<RecordedMember>& recorded) {
    size_t at = 0;
    for (const MemberView member : members) {
      if (!selected(member.name) || at == places.size()) continue;
      char type = member.type == ArchiveMember::Type::kDirectory  ? 'd'
                  : member.type == ArchiveMember::Type::kSymlink  ? 'l'
                  : member.type == ArchiveMember::Type::kHardlink ? 'h'
                                                                  : 'f';
      recorded.push_back({type, member.mode, std::move(places[at++]), std::string(member.link),
                          member.digest ? *member.digest : FileDigest()});
    }
  }

  // A dry run: the members tar would extract for `batch` of `archive`, one
  // a line as tar lists them; a batch tar would fail on ends the load, as
  // it would.
  static void ShowWouldExtract(const ListedArchive& archive, const TarBatch& batch, bool fails) {
    for (const MemberView member : archive.members()) {
      if (!batch.Selects(member.name)) continue;
      PutVisible(member.name);
      std::fputc('\n', stdout);
    }
    if (fails) FailArchive(archive.path(), "not extracted: a name the batch gives is not in it");
  }

  // Ends the load for `stop` once the batches before it have ended (the
  // first of them that failed decides).
  [[noreturn]] void StopLoading(const Stop& stop) {
    if (!beside_.Settle()) FailLoading();
    Notice("", stop.name, stop.after);
    FailLoading();
  }

  // The members to leave out, one per line, in a working file of `slot`.
  static std::string WriteExclusions(const TarRequest& request, int slot) {
    std::string path = ScratchFile(SlotName("EXC", slot));
    LineWriter out(path);
    for (std::string_view name : request.excluded) out.Write(name);
    out.Close();
    return path;
  }

  // Runs `extraction` and waits for it, its progress shown as it goes.
  void ExtractHere(const Extraction& extraction) {
    std::function<void(uint64_t)> read = nullptr;
    if (progress_.active()) {
      read = [this](uint64_t at) { progress_.Show(done_ + beside_.Read() + at); };
    }
    ExtractionEnd end = RunExtraction(extraction, read);
    end.ReportNotStarted();
    if (!end.Succeeded()) FailLoading();
  }

  ArchiveNames archive_names_;
  const MediumSums& sums_;
  bool names_shown_;  // tar lists what it extracts
  int jobs_;          // batches extracted side by side at most
  bool dry_run_;      // nothing is extracted: what would be is listed
  int root_fd_;       // the installation directory, held by the caller
  Sandbox sandbox_;
  bool refuse_changeable_;
  Landing landing_;
  ListingsAhead listings_;
  size_t listed_ = 0;  // batches that took their listing
  LoadRecord record_;  // what the load wrote, beside its receipt
  ProgressLine progress_;
  uint64_t done_ = 0;  // bytes of the batches extracted here, one after another
  int judged_ = 0;     // batches judged so far
  std::vector<std::unique_ptr<TarBatch>> batches_;
  int reading_slot_ = 0;  // of the batch NextBatch gave last
  SideBySide beside_;
};

// Every archive the load needs must open as a regular file under the name
// it will be read by, before anything is unpacked: a missing one fails the
// load at once.
ArchivesOfTheLoad CheckArchives(const std::string& pak, const ArchiveNames& names) {
  LineReader in(pak);
  std::string_view line;
  std::string code;
  bool named = false;  // the run of lines of `code` names something to extract
  ArchivesOfTheLoad load;
  auto check = [&] {
    if (!named) return;
    std::string archive = names.Of(code);
    int fd = OpenRegularFile(archive);
    if (fd < 0) FailArchive(archive, errno != 0 ? std::strerror(errno) : "not a regular file");
    struct stat st;
    if (fstat(fd, &st) == 0) load.bytes += static_cast<uint64_t>(st.st_size);
    load.archives.push_back(archive);
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
  return load;
}

}  // namespace

void RunTAR(const std::string& dist, const std::string& toc, const std::string& pak, int variant,
            ListFiles list_files, const InstallTarget& target, const Settings& settings,
            const MediumSums& sums, const ReceiptPlace& receipt) {
  std::fputs("\n", stdout);
  std::optional<LineReader> in(std::in_place, pak);
  std::string_view line;
  if (!in->Next(line)) return;
  ArchiveNames names(dist, variant);
  ArchivesOfTheLoad load = CheckArchives(pak, names);
  // Before the first extraction: a failed or interrupted load can be
  // removed with it.
  // A dry run writes nothing: no receipt, no record, no progress line.
  const ReceiptPlace& receipt_made = settings.dry_run ? ReceiptPlace() : receipt;
  if (!receipt_made.empty()) WriteReceipt(toc, pak, receipt_made);
  // tar's listing owns the screen when the names are shown.
  bool names_shown = list_files == ListFiles::kYes;
  bool show_progress = !names_shown && !settings.dry_run && ProgressLine::Wanted(settings);
  // What tar lists owns the screen when the names are shown: every batch in
  // its place then.
  if (!names_shown) {
    LineReader again(pak);
    std::vector<LineRun> runs = LineRuns(again);
    if (ArchivesComeBack(runs)) {
      Loader loader(names, names_shown, target, settings, sums, receipt_made, {},
                    show_progress ? load.bytes : 0, show_progress);
      loader.LoadInRuns(again, runs);
      loader.Finish();
      if (!settings.dry_run) ReportLoaded(pak);
      in.reset();
      std::fputs("\n", stdout);
      nprintf(Msg::kLoaded);
      return;
    }
  }
  Loader loader(names, names_shown, target, settings, sums, receipt_made, std::move(load.archives),
                show_progress ? load.bytes : 0, show_progress);
  TarBatch* batch = &loader.NextBatch(TocLine(line).ArchiveCode());
  do {
    TocLine entry(line);
    if (entry.ArchiveCode() != batch->code()) {
      loader.Extract(*batch);
      batch = &loader.NextBatch(entry.ArchiveCode());
    }
    loader.Add(*batch, entry.EntryWord());
  } while (in->Next(line));
  loader.Extract(*batch);
  loader.Finish();
  if (!settings.dry_run) ReportLoaded(pak);
  in.reset();
  std::fputs("\n", stdout);
  nprintf(Msg::kLoaded);
}
