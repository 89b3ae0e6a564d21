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
#include "common/medium.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "messages/catalogue.hpp"
#include "messages/print.hpp"
#include "session/console.hpp"
#include "session/strict.hpp"
#include "system/workingfiles.hpp"
#include "toc/installmodule.hpp"
#include "toc/printheader.hpp"
#include "toc/removemodule.hpp"
#include "toc/scancd.hpp"
#include "toc/selectmodule.hpp"

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
std::string Because(const char* what, int error) {
  return std::string(what) + " (" + std::strerror(error) + ")";
}

// Looks for products below the mount point; true when one was chosen and
// entered.
bool ChooseProduct(RunState& state, const std::string& answer) {
  // The menu shows paths that work from any directory.
  std::string mount = !answer.empty() && answer[0] == '/' ? answer : CurrentDirectory();
  std::string result;
  int index = 0;
  ScanCD(state.mode, kTocNames, index, mount, result);
  if (result == "^") return false;
  if (result.empty()) {
    hprintf(Msg::kUnknownMedium);
    std::printf(" \"%s\"\n\n", answer.c_str());
    nprintf(Msg::kWhereIsTheMedium);
    Refuse(Msg::kMountPointQuestion, answer, "Unable to recognize the format of the CD-ROM");
    return false;
  }
  if (chdir(result.c_str()) != 0) {
    int error = errno;
    ReportUnenterable(result);
    Refuse(WordingOf(state.mode).product_question, result,
           Because("Unable to locate mount point", error));
    return false;
  }
  state.variant = index;
  state.toc_path = kTocNames[index];
  return true;
}

// While English is in use for a language that is not English, the
// distribution itself may carry the catalogue.
void SecondCatalogueAttempt(RunState& state) {
  if (MessagesLoaded != 0 || strcmpe(state.language_code, "en") == 0) return;
  LoadMessages(state.language_code, state.dist_dir, state.locale_name);
  if (MessagesLoaded == 0) state.locale_name = "C";
  std::setlocale(LC_ALL, state.locale_name.c_str());
  std::setlocale(LC_NUMERIC, "C");
}

bool CanEnter(const RunState& state, const std::string& dir) {
  bool entered = chdir(dir.c_str()) == 0;
  ChangeToStart(state);
  return entered;
}

// The create-directory question. True when the directory now exists.
bool OfferToCreate(const std::string& dir) {
  for (;;) {
    std::string answer = Ask(Msg::kCreateQuestion, " [yes] ");
    if (QuitDeclined(answer)) continue;
    if (IsNo(answer)) return false;
    if (answer.empty() || IsYes(answer)) {
      if (mkdir(dir.c_str(), 0777) != 0) {
        int error = errno;
        hprintf(Msg::kCannotCreate);
        std::printf(" %s\n", dir.c_str());
        Refuse(Msg::kInstallDirectoryQuestion, dir, Because("Cannot create directory", error));
        return false;
      }
      return true;
    }
    // '?' and '^' are no answers to this question, yet no refusal either.
    if (answer != "?" && answer != "^") Refuse(Msg::kCreateQuestion, answer, "not yes or no");
  }
}

// Holds the directory just entered as the installation directory.
void HoldInstallDirectory(RunState& state, const std::string& answer) {
  if (state.install_fd >= 0) close(state.install_fd);
  state.install_fd = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (state.install_fd < 0) DieFor(answer);
}

}  // namespace

void AskMountPoint(RunState& state) {
  for (;;) {
    ChangeToStart(state);
    std::fputs("\n", stdout);
    std::string answer = Ask(Msg::kMountPointQuestion, Bracketed(state.default_mount));
    if (Quit(answer) || answer == "^") {
      if (Quit2()) EndRun(Ending::kDeclined);
      continue;
    }
    if (answer == "?") {
      std::fputs("\n", stdout);
      nprintf(Msg::kMountPointHelp);
      continue;
    }
    if (answer.empty()) answer = state.default_mount;
    if (chdir(answer.c_str()) != 0) {
      int error = errno;
      ReportUnenterable(answer);
      Refuse(Msg::kMountPointQuestion, answer, Because("Unable to locate mount point", error));
      continue;
    }
    if (!state.toc_from_command_line) {
      int variant = FindTocHere();
      if (variant >= 0) {
        state.variant = variant;
        state.toc_path = kTocNames[variant];
      } else if (!ChooseProduct(state, answer)) {
        continue;
      }
    }
    state.dist_dir = CurrentDirectory();
    if (state.dist_dir.empty()) DieFor(answer);
    SecondCatalogueAttempt(state);
    return;
  }
}

bool AskInstallDirectory(RunState& state) {
  for (;;) {
    ChangeToStart(state);
    std::fputs("\n", stdout);
    std::string answer = Ask(Msg::kInstallDirectoryQuestion, Bracketed(state.start_dir));
    if (QuitDeclined(answer)) continue;
    if (answer == "^") return false;
    if (answer == "?") {
      std::fputs("\n", stdout);
      nprintf(WordingOf(state.mode).directory_help);
      continue;
    }
    if (answer.empty() || answer == ".") answer = state.start_dir;
    if (state.mode == Mode::kLoad && !CanEnter(state, answer)) {
      std::fputs("\n", stdout);
      hprintf(Msg::kNoSuchDirectory);
      std::printf(" %s\n", answer.c_str());
      if (!OfferToCreate(answer)) continue;
    }
    if (access(answer.c_str(), W_OK) != 0) {
      int error = errno;
      hprintf(Msg::kNoWriteAccess);
      std::printf(" \"%s\"\n", answer.c_str());
      Refuse(Msg::kInstallDirectoryQuestion, answer,
             Because("You do not have write access", error));
      continue;
    }
    if (chdir(answer.c_str()) != 0) {
      int error = errno;
      hprintf(Msg::kCannotEnter);
      std::printf(" %s\n", answer.c_str());
      Refuse(Msg::kInstallDirectoryQuestion, answer,
             Because("Cannot change current working directory", error));
      continue;
    }
    state.install_dir = CurrentDirectory();
    if (state.install_dir.empty()) DieFor(answer);
    HoldInstallDirectory(state, answer);
    return true;
  }
}

bool AskCategories(const RunState& state) {
  RemoveOrDie(PAK);
  if (chdir(state.dist_dir.c_str()) != 0) DieFor(state.dist_dir);
  PrintHeader(state.toc_path);
  int category = 1;
  for (;;) {
    int count = SelectModule(state.toc_path, MOD, category);
    if (count == 0) return true;
    if (InstallModule(MOD, state.mode, count) == 0) {
      AppendFile(MOD, PAK);
      ++category;
    } else {
      if (--category == 0) return false;
      RemoveModule(PAK, category);
    }
  }
}
