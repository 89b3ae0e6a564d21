#include "driver/summary.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/exitrequest.hpp"
#include "common/lineio.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "loading/runctar.hpp"
#include "messages/pager.hpp"
#include "messages/print.hpp"
#include "operations/calculatesize.hpp"
#include "operations/kbavailable.hpp"
#include "operations/recordedremoval.hpp"
#include "operations/runcrem.hpp"
#include "operations/runcver.hpp"
#include "session/question.hpp"
#include "session/runreport.hpp"
#include "session/strict.hpp"
#include "system/installlock.hpp"
#include "system/workingfiles.hpp"
#include "toc/categorytitle.hpp"
#include "toc/tocline.hpp"

namespace {

// Lists the optional packages of PAK under their category titles, page by
// page: the headings above take 3 lines of the first page of 20, a title
// takes 2, a package 1.
void ListSelection(const RunState& state, LineReader& pak) {
  Pager pager(20, 3);
  std::string last_code = "00";
  std::optional<std::string> title;
  std::string_view line;
  while (pak.Next(line)) {
    TocLine package(line);
    if (!package.IsOptional()) continue;
    std::string code(package.CategoryCode());
    if (code != last_code) {
      last_code.swap(code);
      title = FindCategoryTitle(state.toc_path, last_code);
      if (!pager.Page()) return;
      // A category without a title line in the table of contents is listed
      // without a title.
      if (title) {
        std::fputs("\n", stdout);
        PutVisible(TocLine(*title).Text());
        std::fputs("\n", stdout);
        pager.Count(2);
      }
    }
    if (!pager.Page()) return;
    if (title && package.MentionsTitle(TocLine(*title).Text())) continue;
    std::fputs("\t", stdout);
    PutVisible(package.Description());
    std::fputs("\n", stdout);
    pager.Count();
  }
}

void ShowSelection(const RunState& state) {
  // PAK holds every chosen line: read in large blocks.
  LineReader pak(PAK);
  struct stat info;
  if (fstat(pak.fd(), &info) != 0) DieFor(PAK);
  if (info.st_size == 0) {
    std::fputs("\n", stdout);
    nprintf(Msg::kNothingSelected);
  } else {
    std::fputs("\n\n", stdout);
    nprintf(Msg::kSelectionComplete);
    std::fputs("--------------------------\n\n", stdout);
    nprintf(WordingOf(state.mode).selection_heading);
    ListSelection(state, pak);
  }
  std::fputs("\n", stdout);
}

// The confirmation question: true when the selection is accepted. '?'
// asks again without a word.
bool Confirmed() {
  Question correct{.prompt = Msg::kCorrectQuestion, .default_answer = "yes"};
  return AskQuestion(correct).reply == Reply::kYes;
}

// The restart question, after the operator declined to load anyway. Returns
// only for a restart.
void AskRestart() {
  Question restart{.prompt = Msg::kRestartQuestion,
                   .default_answer = "no",
                   .help = Msg::kRestartHelp,
                   .line_after_help = true,
                   .step_back = OnStepBack::kAskAgain,
                   .before_prompt = [] { RemoveOrDie(PAK); }};
  if (AskQuestion(restart).reply == Reply::kNo) EndRun(Ending::kDeclined);
}

// The load-anyway question: true to go on loading, false to restart.
bool LoadAnyway() {
  // Declining the quit goes on, as "yes" does.
  Question anyway{.prompt = Msg::kLoadAnywayQuestion,
                  .default_answer = "no",
                  .help = Msg::kLoadAnywayHelp,
                  .line_after_help = true,
                  .step_back = OnStepBack::kAskAgain,
                  .quit_word = OnQuitWord::kConfirmThenYes};
  if (AskQuestion(anyway).reply == Reply::kYes) return true;
  AskRestart();
  return false;
}

// Shows the size of the selection and the free space; false when the
// operator chose to restart.
bool SpaceCheck(const RunState& state) {
  double total = static_cast<double>(CalculateSize(PAK)) / 1024.0;
  double available = static_cast<double>(KBAvailable(state.install_fd, state.install_dir)) / 1024.0;
  std::fputs("\n", stdout);
  hprintf(Msg::kTotalSize);
  std::printf(" %.1f\n", total);
  hprintf(Msg::kAvailableSpace);
  std::printf(" %.1f\n", available);
  if (available >= total) return true;
  std::fputs("\n", stdout);
  nprintf(Msg::kInsufficientSpace);
  return LoadAnyway();
}

// The list-files question: the answer, or none for a step back.
std::optional<ListFiles> AskListFiles(Mode mode) {
  const ModeWording& wording = WordingOf(mode);
  Question list{.prompt = wording.list_files_question,
                .default_answer = "no",
                .help = wording.list_files_help};
  switch (AskQuestion(list).reply) {
    case Reply::kBack:
      return std::nullopt;
    case Reply::kYes:
      return ListFiles::kYes;
    default:
      return ListFiles::kNo;
  }
}

// The held installation directory, as the operations take it.
InstallTarget Target(const RunState& state) { return {state.install_fd, state.install_dir}; }

// The table of contents by a name that holds in any directory.
std::string TocPath(const RunState& state) {
  return state.toc_path.starts_with('/') ? state.toc_path : state.dist_dir + "/" + state.toc_path;
}

// Each chosen package, with its category's title, into the run's report.
void ReportChosenPackages(const RunState& state) {
  LineReader pak(PAK);
  std::string last_code = "00";
  std::string category;
  std::string_view line;
  while (pak.Next(line)) {
    TocLine package(line);
    if (!package.IsOptional() && !package.IsRequired()) continue;
    if (std::string code(package.CategoryCode()); code != last_code) {
      last_code.swap(code);
      std::optional<std::string> title = FindCategoryTitle(TocPath(state), last_code);
      category = title ? std::string(TocLine(*title).Text()) : "";
    }
    std::string_view description = package.Description();
    ReportPackage(category, description.substr(0, description.find_last_not_of(' ') + 1));
  }
}

// The receipt named on the command line, when its load was recorded beside
// it and ended well; empty otherwise (a load that failed or was interrupted
// is removed by the receipt's lines, which name all it may have unpacked).
std::string RecordOf(const RunState& state) {
  if (!state.toc_from_command_line || !IsReadableFile(state.toc_path + ".list") ||
      !RecordIsWhole(state.toc_path)) {
    return "";
  }
  return state.toc_path;
}

// How a verification ends the run: anything missing or different is a
// mismatch; a report ended at a pause before that is the operator's decline.
Ending EndingOf(const VerifyCounts& found) {
  if (found.missing_files + found.missing_directories + found.different_sizes +
          found.different_contents >
      0) {
    return Ending::kMismatch;
  }
  return found.complete ? Ending::kFinished : Ending::kDeclined;
}

[[noreturn]] void Dispatch(const RunState& state) {
  if (fchdir(state.install_fd) != 0) DieFor(state.install_dir);
  // Verification changes nothing: it shares the lock with other
  // verifications and waits for a load or a removal.
  LockInstallation(state.install_fd, state.install_dir,
                   state.mode == Mode::kVerify ? LockKind::kShared : LockKind::kExclusive);
  // The held directory may have been removed since it was accepted (or
  // while the lock was waited for): that ends the run as a directory that
  // cannot be entered does.
  struct stat held;
  if (fstat(state.install_fd, &held) != 0) DieFor(state.install_dir);
  if (held.st_nlink == 0) {
    errno = ENOENT;
    DieFor(state.install_dir);
  }
  std::fputs("\n", stdout);
  ReportStart(state.install_dir, TocLine(ReadFirstLine(TocPath(state))).Heading());
  ReportChosenPackages(state);
  Ending ending = Ending::kFinished;
  switch (state.mode) {
    case Mode::kVerify:
      nprintf(Msg::kVerifying);
      ending = EndingOf(RunVER(state.dist_dir, state.toc_path, PAK, Target(state), state.settings));
      break;
    case Mode::kRemove:
      nprintf(Msg::kRemoving);
      // A receipt whose load was recorded: exactly what that load wrote.
      switch (RunREM(PAK, state.list_files, Target(state), state.settings, RecordOf(state))) {
        case RemovalEnd::kKept:
          ending = Ending::kMismatch;
          break;
        case RemovalEnd::kNotStarted:
          ending = Ending::kFailed;
          break;
        case RemovalEnd::kDone:
          break;
      }
      break;
    default:
      nprintf(Msg::kLoading);
      // tar takes the flag as a number, answered by now: 0 or 1.
      RunTAR(state.dist_dir, TocPath(state), PAK, state.variant, state.list_files, Target(state),
             state.settings, state.medium, state.receipt);
      std::fputs("\n", stdout);
      break;
  }
  if (chdir(state.start_dir.c_str()) != 0) DieFor(state.start_dir);
  EndRun(ending);
}

}  // namespace

Back ConfirmAndRun(RunState& state) {
  ShowSelection(state);
  if (!Confirmed()) return Back::kCategories;
  if (state.mode == Mode::kLoad && !SpaceCheck(state)) return Back::kInstallDirectory;
  std::fputs("\n", stdout);
  state.list_files = ListFiles::kNotAsked;
  if (state.mode != Mode::kVerify) {
    std::optional<ListFiles> answer = AskListFiles(state.mode);
    if (!answer) return Back::kCategories;
    state.list_files = *answer;
  }
  Dispatch(state);
}
