#include "driver/sequence.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/appendfile.hpp"
#include "common/currentdirectory.hpp"
#include "common/lineio.hpp"
#include "common/medium.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/catalogue.hpp"
#include "messages/print.hpp"
#include "session/console.hpp"
#include "session/question.hpp"
#include "session/responses.hpp"
#include "session/strict.hpp"
#include "system/notice.hpp"
#include "system/workingfiles.hpp"
#include "toc/installmodule.hpp"
#include "toc/printheader.hpp"
#include "toc/removemodule.hpp"
#include "toc/scancd.hpp"
#include "toc/selectmodule.hpp"
#include "toc/tocline.hpp"

namespace {

void ChangeToStart(const RunState& state) {
  if (chdir(state.start_dir.c_str()) != 0) DieFor(state.start_dir);
}

// The table of contents under its six names in the current directory: the
// variant index, or -1.
int FindTocHere() {
  for (int i = 0; i < kNameForms; ++i) {
    if (IsReadableFile(kTocNames[i])) return i;
  }
  return -1;
}

void ReportUnenterable(const std::string& path) {
  hprintf(Msg::kNoMountPoint);
  std::printf(" \"%s\".\n", Visible(path).c_str());
}

// The reason of a refusal that a system call gave, with its error text.
std::string Because(Msg message, int error) {
  return ReasonOf(message) + " (" + std::strerror(error) + ")";
}

// Looks for products below the mount point; true when one was chosen and
// entered.
bool ChooseProduct(RunState& state, const std::string& answer) {
  // The menu shows paths that work from any directory.
  std::string mount = !answer.empty() && answer[0] == '/' ? answer : CurrentDirectory();
  ProductChoice scan = ScanCD(state.mode, kTocNames, mount);
  if (scan.stepped_back) return false;
  if (!scan.chosen) {
    hprintf(Msg::kUnknownMedium);
    std::printf(" \"%s\"\n\n", answer.c_str());
    nprintf(Msg::kWhereIsTheMedium);
    Refuse(Msg::kMountPointQuestion, answer, ReasonOf(Msg::kUnknownMedium));
    return false;
  }
  const Product& product = *scan.chosen;
  if (chdir(product.dir.c_str()) != 0) {
    int error = errno;
    ReportUnenterable(product.dir);
    Refuse(WordingOf(state.mode).product_question, product.dir, Because(Msg::kNoMountPoint, error));
    return false;
  }
  state.variant = product.variant;
  state.toc_path = kTocNames[product.variant];
  return true;
}

// While English is in use for a language that is not English, the
// distribution itself may carry the catalogue.
void SecondCatalogueAttempt(RunState& state) {
  if (MessagesInUse() != CatalogueState::kEnglish || strcmpe(state.language_code, "en") == 0)
    return;
  LoadMessages(state.language_code, state.dist_dir, state.locale_name,
               [&](const std::string& path, int fd) { state.medium.CheckIfListed(path, fd); });
  if (MessagesInUse() == CatalogueState::kEnglish) state.locale_name = "C";
  std::setlocale(LC_ALL, state.locale_name.c_str());
  std::setlocale(LC_NUMERIC, "C");
}

bool CanEnter(const RunState& state, const std::string& dir) {
  bool entered = chdir(dir.c_str()) == 0;
  ChangeToStart(state);
  return entered;
}

// The create-directory question. True when the directory now exists.
bool OfferToCreate(const std::string& dir, bool dry_run) {
  // '?' and '^' are no answers to this question, yet no refusal either.
  Question create{
      .prompt = Msg::kCreateQuestion, .default_answer = "yes", .step_back = OnStepBack::kAskAgain};
  if (AskQuestion(create).reply == Reply::kNo) return false;
  // A dry run makes nothing, not even the directory it would load into.
  if (dry_run) {
    Notice("install: ", dir, ": not made: a dry run makes nothing; make it first");
    EndRun(Ending::kFailed);
  }
  if (mkdir(dir.c_str(), 0777) != 0) {
    int error = errno;
    hprintf(Msg::kCannotCreate);
    std::printf(" %s\n", dir.c_str());
    Refuse(Msg::kInstallDirectoryQuestion, dir, Because(Msg::kCannotCreate, error));
    return false;
  }
  return true;
}

// Holds the directory just entered as the installation directory.
void HoldInstallDirectory(RunState& state, const std::string& answer) {
  if (state.install_fd >= 0) close(state.install_fd);
  state.install_fd = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (state.install_fd < 0) DieFor(answer);
}

// Every question of the two directories is asked from the starting
// directory, after a blank line.
void PromptFromStart(const RunState& state) {
  ChangeToStart(state);
  std::fputs("\n", stdout);
}

// Enters the mount point `answer` and finds the table of contents there or
// below it; false (the question is asked again) when that fails.
bool TakeMountPoint(RunState& state, const std::string& answer) {
  if (chdir(answer.c_str()) != 0) {
    int error = errno;
    ReportUnenterable(answer);
    Refuse(Msg::kMountPointQuestion, answer, Because(Msg::kNoMountPoint, error));
    return false;
  }
  if (state.toc_from_command_line) return true;
  int variant = FindTocHere();
  if (variant < 0) return ChooseProduct(state, answer);
  state.variant = variant;
  state.toc_path = kTocNames[variant];
  return true;
}

// Checks the installation directory `answer` ("." is the starting
// directory), offers to create it when loading, enters and holds it; false
// (the question is asked again) when any of that fails.
bool TakeInstallDirectory(RunState& state, std::string answer) {
  if (answer == ".") answer = state.start_dir;
  if (state.mode == Mode::kLoad && !CanEnter(state, answer)) {
    std::fputs("\n", stdout);
    hprintf(Msg::kNoSuchDirectory);
    std::printf(" %s\n", answer.c_str());
    if (!OfferToCreate(answer, state.settings.dry_run)) return false;
  }
  if (access(answer.c_str(), W_OK) != 0) {
    int error = errno;
    hprintf(Msg::kNoWriteAccess);
    std::printf(" \"%s\"\n", answer.c_str());
    Refuse(Msg::kInstallDirectoryQuestion, answer, Because(Msg::kNoWriteAccess, error));
    return false;
  }
  if (chdir(answer.c_str()) != 0) {
    int error = errno;
    hprintf(Msg::kCannotEnter);
    std::printf(" %s\n", answer.c_str());
    Refuse(Msg::kInstallDirectoryQuestion, answer, Because(Msg::kCannotEnter, error));
    return false;
  }
  state.install_dir = CurrentDirectory();
  if (state.install_dir.empty()) DieFor(answer);
  HoldInstallDirectory(state, answer);
  return true;
}

}  // namespace

void AskMountPoint(RunState& state) {
  Question mount{
      .prompt = Msg::kMountPointQuestion,
      .default_answer = state.default_mount,
      .kind = AnswerKind::kText,
      .help = Msg::kMountPointHelp,
      .step_back = OnStepBack::kQuits,
      .before_prompt = [&] { PromptFromStart(state); },
      .accept = [&](const std::string& answer) { return TakeMountPoint(state, answer); }};
  std::string answer = AskQuestion(mount).text;
  state.dist_dir = CurrentDirectory();
  if (state.dist_dir.empty()) DieFor(answer);
  // Before anything of the medium is read: its checksums, their signature,
  // then the table of contents by them.
  state.medium = TrustMedium(state.dist_dir, state.settings);
  state.medium.CheckIfListed(
      state.toc_path.starts_with('/') ? state.toc_path : state.dist_dir + "/" + state.toc_path);
  // A catalogue already in use that the medium lists (beside an installer
  // started from the medium); one the medium gives now is checked as it is
  // found.
  if (!LoadedCataloguePath().empty()) state.medium.CheckIfListed(LoadedCataloguePath());
  SecondCatalogueAttempt(state);
}

bool AskInstallDirectory(RunState& state) {
  Question directory{
      .prompt = Msg::kInstallDirectoryQuestion,
      .default_answer = state.start_dir,
      .kind = AnswerKind::kText,
      .help = WordingOf(state.mode).directory_help,
      .before_prompt = [&] { PromptFromStart(state); },
      .accept = [&](const std::string& answer) { return TakeInstallDirectory(state, answer); }};
  return AskQuestion(directory).reply != Reply::kBack;
}

bool AskCategories(const RunState& state) {
  RemoveOrDie(PAK);
  if (chdir(state.dist_dir.c_str()) != 0) DieFor(state.dist_dir);
  PrintHeader(state.toc_path);
  MediumTitle(TocLine(ReadFirstLine(state.toc_path)).Heading());
  int category = 1;
  for (;;) {
    int count = SelectModule(state.toc_path, MOD, category);
    if (count == 0) return true;
    if (InstallModule(MOD, state.mode, count, {.scratch = TMP, .listing = TMP2}) == 0) {
      AppendFile(MOD, PAK);
      ++category;
    } else {
      if (--category == 0) return false;
      RemoveModule(PAK, category, TMP3);
    }
  }
}
