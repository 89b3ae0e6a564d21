#include "driver/installc.hpp"

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/answerline.hpp"
#include "common/currentdirectory.hpp"
#include "common/exitrequest.hpp"
#include "common/medium.hpp"
#include "common/textfile.hpp"
#include "common/visibletext.hpp"
#include "driver/administratorhelp.hpp"
#include "driver/dialogue.hpp"
#include "driver/farewell.hpp"
#include "driver/runstate.hpp"
#include "messages/catalogue.hpp"
#include "messages/print.hpp"
#include "operations/receipt.hpp"
#include "session/part3full.hpp"
#include "session/responses.hpp"
#include "session/runreport.hpp"
#include "session/strict.hpp"
#include "system/interrupts.hpp"
#include "system/notice.hpp"
#include "system/standardstreams.hpp"
#include "system/trustedpath.hpp"
#include "system/workingfiles.hpp"

namespace {

const char kUsage[] = "Usage: install <-help | -load | -remove | -verify>\n";

// The build names the version; one that does not (the fuzz targets') has none.
#ifndef INSTALL_VERSION
#define INSTALL_VERSION "unknown"
#define INSTALL_VERSION_MARK "@(version)"
#endif

// "install x.y.z" behind the marker by which mkdist finds the version of the
// installer it copies onto a medium.
const char kVersionLine[] = INSTALL_VERSION_MARK "install " INSTALL_VERSION;

std::string ProgramDirectory(const char* argv0) {
  std::string name = argv0 ? argv0 : "";
  size_t slash = name.rfind('/');
  return slash == std::string::npos ? "." : name.substr(0, slash);
}

// The C and POSIX locales, alone or with a code set or modifier ("C.UTF-8",
// "POSIX@euro"), are the default locale: English, as when LANG is unset.
bool IsDefaultLocale(std::string_view lang) {
  for (std::string_view name : {"C", "POSIX"}) {
    if (lang.starts_with(name) &&
        (lang.size() == name.size() || lang[name.size()] == '.' || lang[name.size()] == '@')) {
      return true;
    }
  }
  return false;
}

void ChooseLanguage(RunState& state) {
  const std::string& lang = state.settings.lang;
  bool set = !lang.empty() && !IsDefaultLocale(lang);
  std::string locale = set ? lang : "C";
  std::string code = set ? locale.substr(0, 2) : "en";
  state.locale_name = std::move(locale);
  state.language_code = std::move(code);
  LoadMessages(state.language_code, state.program_dir, state.locale_name);
  std::setlocale(LC_ALL,
                 MessagesInUse() != CatalogueState::kEnglish ? state.locale_name.c_str() : "C");
  std::setlocale(LC_NUMERIC, "C");
}

// With ZULANSWERS=FILE every answer is recorded in FILE, for a run that
// gives them again unattended.
void RecordAnswersAsAsked(const std::string& file) {
  if (file.empty() || RecordAnswersIn(file)) return;
  int error = errno;
  Notice("install: cannot record the answers in ", file,
         std::string(": ") + (error == 0 ? "not a regular file" : std::strerror(error)));
}

// The option word; prints the removal warning and the help text at once.
// Returns false when the run ends here (help, version).
bool RecogniseOption(const std::string& word, RunState& state) {
  if (word == "-version") {
    std::printf("%s\n", kVersionLine + std::strlen(INSTALL_VERSION_MARK));
    return false;
  }
  if (word == "-load") state.mode = Mode::kLoad;
  if (word == "-verify") state.mode = Mode::kVerify;
  if (word == "-remove") {
    state.mode = Mode::kRemove;
    std::fputs("\n", stdout);
    nprintf(Msg::kRemoveWarning);
  }
  if (word == "-help") {
    std::fputs("\n", stdout);
    nprintf(Msg::kHelpText);
    std::fputs("\n", stdout);
    std::fflush(stdout);
    ShowAdministratorHelp();
    return false;
  }
  return true;
}

// Whether the table of contents `path` is one that no user but root and
// the running one can change, nor change what its path names; otherwise a
// line on standard error says where another user could.
bool UnchangeableByOthers(const std::string& path) {
  Untrusted untrusted;
  if (IsTrustedPath(path, untrusted)) return true;
  Notice("install: table of contents " + Visible(path) + " not used: ", untrusted.where,
         ": " + untrusted.why);
  return false;
}

// Checks a table of contents named on the command line. False when it
// cannot be opened (after message 55), or when it would drive a removal or
// a verification and another user could change it (after a line on
// standard error): what it lists is deleted or reported.
bool TakeNamedToc(const std::string& word, RunState& state) {
  state.toc_path = part3full(word, state.settings);
  if (state.toc_path.empty() || state.toc_path[0] != '/') {
    state.toc_path = state.start_dir + "/" + word;
  }
  // Only a regular file, opened without waiting: a fifo would hold the run
  // up, a device such as /dev/zero never end.
  if (!IsReadableFile(state.toc_path)) {
    hprintf(Msg::kNoSuchFile);
    std::printf(" \"%s\"\n\n", state.toc_path.c_str());
    return false;
  }
  if (state.mode != Mode::kLoad && !UnchangeableByOthers(state.toc_path)) return false;
  state.toc_from_command_line = true;
  state.variant = TocVariantOf(state.toc_path);
  return true;
}

int StartUp(int argc, char** argv) {
  OpenClosedStandardDescriptors();
  IgnoreWriteSignals();
  RunState state;
  state.settings = ReadSettings();
  UseStrictAnswers(state.settings.strict);
  UseResponses(state.settings.responses);
  RecordAnswersAsAsked(state.settings.answers);
  ForgetMessageChoice();
  state.program_dir = ProgramDirectory(argc > 0 ? argv[0] : nullptr);
  ChooseLanguage(state);
  // A command line that is not understood shows the usage line; to a
  // script (ZULSTRICT) it is a refused answer.
  int usage_status = StrictAnswers() ? kStatusRefused : 0;
  if (argc < 2) {
    std::fputs(kUsage, stdout);
    return usage_status;
  }
  if (!RecogniseOption(argv[1], state)) return 0;
  if (state.mode == Mode::kNone) {
    hprintf(Msg::kInvalidOption);
    std::printf(" %s\n", argv[1]);
  }
  // The options take one further word, a table of contents.
  if ((state.mode == Mode::kNone && argc > 2) || argc > 3) {
    state.mode = Mode::kNone;
    nprintf(Msg::kTooManyArguments);
  }
  if (state.mode == Mode::kNone) {
    std::fputs(kUsage, stdout);
    return usage_status;
  }
  // A dry run acts on nothing: it has no report.
  OpenRunReport(state.settings.dry_run ? "" : state.settings.report,
                kVersionLine + std::strlen(INSTALL_VERSION_MARK "install "),
                state.mode == Mode::kLoad     ? "load"
                : state.mode == Mode::kVerify ? "verify"
                                              : "remove");
  state.start_dir = CurrentDirectory();
  if (state.start_dir.empty()) {
    std::fflush(stdout);
    std::perror(".");
    return 1;
  }
  // A table of contents that does not open, or may not be used, is a file
  // error to a script.
  if (argc == 3 && !TakeNamedToc(argv[2], state)) return StrictAnswers() ? 1 : 0;
  // A receipt that cannot be written safely is said before anything is
  // asked: a load it could not undo is not begun.
  if (state.mode == Mode::kLoad &&
      !WantedReceipt(state.settings.receipt, state.start_dir, state.receipt)) {
    return 1;
  }
  // From here on an interrupt removes the working directory.
  InstallInterruptHandlers();
  if (!MakeWorkingFiles(state.settings.tmpdir)) return 1;
  std::fputs("\n", stdout);
  nprintf(Msg::kAnswerConventions);
  RunDialogue(state);
}

}  // namespace

int RunInstaller(int argc, char** argv) {
  int status;
  try {
    status = StartUp(argc, argv);
  } catch (const ExitRequest& request) {
    SayFarewell();
    status = request.status;
  }
  ReportEnd(status);
  return status;
}
