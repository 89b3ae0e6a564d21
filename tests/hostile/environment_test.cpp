// A run ends cleanly and says what happened whatever its environment:
// signals and closed descriptors, a TMPDIR that cannot serve, the default
// locales, a second installer, text from the medium that would rewrite the
// screen, files written on another system, and very long answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/tocformat.hpp"
#include "hostile/hostile.hpp"
#include "support/texts.hpp"
#include "system/installlock.hpp"

namespace {

std::string OneFile(const std::string& description = "Data", const std::string& path = "data") {
  return TocHeader("Medium") + TocTitle(1, true, "Base") +
         TocEntry(1, 'F', 'O', description, "01", 5, path);
}

void StageOneFile(const HostileMedium& m, const std::string& path = "data") {
  m.Stage(path, "data\n");
  m.Archive("01", {path});
}

// The line of an installer that waits for the lock `holder` holds.
std::string WaitingLine(const HostileMedium& m, pid_t holder, const std::string& user) {
  return "waiting for another installation in " + m.inst() + " (process " + std::to_string(holder) +
         " of " + user + ")\n";
}

std::string UserOf(uid_t uid) {
  struct passwd* entry = getpwuid(uid);
  return entry ? entry->pw_name : std::to_string(uid);
}

// Runs the installer through bash, for what only a shell sets up: a pipe
// whose reader goes away, a closed descriptor.
RunResult ThroughShell(const HostileMedium& m, const std::string& script,
                       const std::string& input) {
  RunOptions options = m.Options();
  options.input = input;
  return RunBinary("/bin/bash", {"-c", script, INSTALL_BINARY}, options);
}

}  // namespace

TEST(Environment, NoSignalButKillLeavesAWorkingFile) {
  HostileMedium m;
  std::string toc = TocHeader("Medium") + TocTitle(1, true, "Base");
  for (int i = 0; i < 2000; ++i) toc += TocEntry(1, 'F', 'O', "Data", "01", 5, "data");
  m.Toc(toc);

  // The reader of standard output goes away while the questions go on.
  std::string lost;
  // More than a pipe holds, so that the questions outlast the reader.
  for (int i = 0; i < 5000; ++i) lost += "/nowhere\n";
  RunResult pipe =
      ThroughShell(m, "\"$0\" -load | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}", lost);
  EXPECT_EQ(pipe.status, 1);
  EXPECT_EQ(pipe.err, "standard output: Broken pipe\n");
  EXPECT_TRUE(ListDir(m.tmp()).empty());

  // A file-size limit reached while the category is copied to MOD.
  RunOptions options = m.Options();
  options.file_size_limit = 64 << 10;
  options.input = m.cdrom() + "\n\n";
  RunResult limit = RunInstall({"-load"}, options);
  EXPECT_EQ(limit.status, 1) << limit.out;
  EXPECT_NE(limit.err.find("/MOD: File too large\n"), std::string::npos) << limit.err;
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(Environment, ClosedStandardOutputTakesNoWorkingFile) {
  for (const char* list_files : {"no", "yes"}) {
    SCOPED_TRACE(list_files);
    HostileMedium m;
    m.Toc(OneFile());
    StageOneFile(m);
    RunResult r =
        ThroughShell(m, "exec \"$0\" -load >&-", m.cdrom() + "\n\n\n\n" + list_files + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(m.inst() + "/data"), "data\n");
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(Environment, ATmpdirThatCannotServeGivesWayToTmp) {
  enum Form { kRelative, kMissing, kAFile, kUnwritable };
  for (Form form : {kRelative, kMissing, kAFile, kUnwritable}) {
    SCOPED_TRACE(form);
    if (form == kUnwritable && !RunningAsRoot()) continue;
    HostileMedium m;
    m.Toc(OneFile());
    RunOptions options = m.Options();
    options.input = m.cdrom() + "\n\nq\ny\n";
    switch (form) {
      case kRelative:
        MakeDirs(m.inst() + "/scratch");
        options.tmpdir = "scratch";
        break;
      case kMissing:
        options.tmpdir = m.root() + "/missing";
        break;
      case kAFile:
        options.tmpdir = m.root() + "/afile";
        WriteFile(options.tmpdir, "");
        break;
      case kUnwritable:
        // Root writes anywhere: the run is another user's.
        ASSERT_EQ(chmod(m.root().c_str(), 0755), 0);
        ASSERT_EQ(chown(m.inst().c_str(), kOtherUser, kOtherUser), 0);
        ASSERT_EQ(chmod(m.tmp().c_str(), 0755), 0);
        options.as_other_user = true;
        break;
    }
    std::string program = INSTALL_BINARY;
    if (options.as_other_user) {
      program = m.InstallerForOtherUser();
    }
    RunResult r = RunBinary(program, {"-load"}, options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find(kLoadPackagesPrompt), std::string::npos) << r.out;
    EXPECT_TRUE(EndsWith(r.out, kExit));
    if (form == kRelative) {
      EXPECT_TRUE(ListDir(m.inst() + "/scratch").empty());
    }
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(Environment, ATmpdirOthersCanChangeGivesWayToTmp) {
  // In a directory another user owns, or can write to and is not sticky,
  // that user could rename the working directory away and put one of theirs
  // with links under its name: the run makes it in /tmp instead.
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to give the directory away";
  enum Form { kTheirs, kWritableByAll, kWritableByGroup, kSticky };
  for (Form form : {kTheirs, kWritableByAll, kWritableByGroup, kSticky}) {
    SCOPED_TRACE(form);
    HostileMedium m;
    m.Toc(OneFile());
    std::string tmpdir = m.tmp();
    switch (form) {
      case kTheirs:
        ASSERT_EQ(chown(tmpdir.c_str(), kOtherUser, kOtherUser), 0);
        ASSERT_EQ(chmod(tmpdir.c_str(), 0755), 0);
        break;
      case kWritableByAll:
        ASSERT_EQ(chmod(tmpdir.c_str(), 0777), 0);
        break;
      case kWritableByGroup:
        ASSERT_EQ(chown(tmpdir.c_str(), 0, kOtherUser), 0);
        ASSERT_EQ(chmod(tmpdir.c_str(), 0775), 0);
        break;
      case kSticky:
        ASSERT_EQ(chmod(tmpdir.c_str(), 01777), 0);
        break;
    }
    LiveRun run({"-load"}, m.Options());
    run.Write(m.cdrom() + "\n\n");
    ASSERT_TRUE(run.WaitFor(kLoadPackagesPrompt)) << run.out();
    // The working files exist by now; only a sticky directory holds them.
    EXPECT_EQ(ListDir(tmpdir).size(), form == kSticky ? 1u : 0u);
    run.Write("q\ny\n");
    run.CloseInput();
    int status = run.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.out();
    EXPECT_TRUE(EndsWith(run.out(), kExit)) << run.out();
    EXPECT_TRUE(ListDir(tmpdir).empty());
  }
}

TEST(Environment, TheWorkingFilesStayInTheDirectoryMadeForThem) {
  // The working directory renamed away and another put under its name,
  // with links under the working files' names: nothing is written through
  // them, and the removal reads the selection it wrote itself.
  HostileMedium m;
  m.Toc(OneFile());
  WriteFile(m.inst() + "/data", "data\n");
  std::string victim = m.outside() + "/marker";
  LiveRun run({"-remove"}, m.Options());
  run.Write(m.cdrom() + "\n\n");
  ASSERT_TRUE(run.WaitFor("Package numbers to remove: [all] ")) << run.out();
  std::vector<std::string> work = ListDir(m.tmp());
  ASSERT_EQ(work.size(), 1u);
  std::string named = m.tmp() + "/" + work[0], moved = m.tmp() + "/moved";
  ASSERT_EQ(rename(named.c_str(), moved.c_str()), 0);
  MakeDirs(named);
  for (const char* name : {"TMP", "MOD", "TMP2", "TMP3", "PAK"}) {
    ASSERT_EQ(symlink(victim.c_str(), (named + "/" + name).c_str()), 0);
  }
  run.Write("\nyes\n\n");
  run.CloseInput();
  int status = run.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.out();
  EXPECT_FALSE(Exists(m.inst() + "/data")) << run.out();
  EXPECT_EQ(ReadFile(victim), "untouched\n");
  EXPECT_EQ(ListDir(named).size(), 5u);
  EXPECT_TRUE(ListDir(moved).empty());
}

TEST(Environment, AnswersAndReportsAreWrittenOnlyInARegularFile) {
  // Under the name of the record of the answers, or of the run's report, in
  // a directory another user can write: a link to a file of root's, a link
  // to where a new file would be made, a fifo (which would hold the run up
  // before the first question), a directory, a device. None is written to;
  // the run goes on.
  enum Form { kLink, kDanglingLink, kFifo, kDirectory, kDevice };
  for (auto [variable, said] : {std::pair{"ZULANSWERS", "install: cannot record the answers in "},
                                std::pair{"ZULREPORT", "install: no report in "}})
    for (Form form : {kLink, kDanglingLink, kFifo, kDirectory, kDevice}) {
      SCOPED_TRACE(std::string(variable) + " " + std::to_string(form));
      HostileMedium m;
      std::string record = m.root() + "/answers", planted = m.outside() + "/planted";
      std::string reason = "not a regular file";
      switch (form) {
        case kLink:
          ASSERT_EQ(symlink((m.outside() + "/marker").c_str(), record.c_str()), 0);
          break;
        case kDanglingLink:
          ASSERT_EQ(symlink(planted.c_str(), record.c_str()), 0);
          break;
        case kFifo:
          ASSERT_EQ(mkfifo(record.c_str(), 0666), 0);
          break;
        case kDirectory:
          MakeDirs(record);
          reason = "Is a directory";
          break;
        case kDevice:
          record = "/dev/null";
          break;
      }
      RunOptions options = m.Options();
      options.env[variable] = record;
      LiveRun run({"-load"}, options);
      run.Write("q\ny\n");
      run.CloseInput();
      int status = run.Wait(10000);
      ASSERT_NE(status, -1) << "the run hung:\n" << run.out();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.out();
      // Standard error comes first, before the greeting.
      EXPECT_EQ(run.out().substr(0, run.out().find('\n') + 1),
                said + record + ": " + reason + "\n");
      EXPECT_TRUE(EndsWith(run.out(), kExit)) << run.out();
      EXPECT_EQ(m.OutsideTree(), std::vector<std::string>{"marker"});
      EXPECT_EQ(ReadFile(m.outside() + "/marker"), "untouched\n");
    }
}

TEST(Environment, TheDefaultLocalesAreEnglish) {
  const std::string kNotFound = "Unable to locate message file";
  HostileMedium m;
  for (const char* lang : {"C", "C.UTF-8", "POSIX", "POSIX.utf8", "C@euro"}) {
    RunResult r = m.Run("-load", "q\ny\n", {{"LANG", lang}});
    EXPECT_EQ(r.out.find(kNotFound), std::string::npos) << lang;
    EXPECT_EQ(r.out.substr(0, kGreeting.size()), kGreeting) << lang;
  }
  for (const char* lang : {"de_DE.UTF-8", "Ca_ES"}) {
    RunResult r = m.Run("-load", "q\ny\n", {{"LANG", lang}});
    EXPECT_NE(r.out.find(kNotFound), std::string::npos) << lang;
  }
}

TEST(Environment, ASecondInstallerWaitsForTheFirst) {
  for (bool interrupted : {false, true}) {
    SCOPED_TRACE(interrupted ? "interrupted" : "waits");
    HostileMedium m;
    m.Toc(OneFile());
    StageOneFile(m);
    // The test holds the installation directory as a first installer would.
    int held = open(m.inst().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    LiveRun run({"-load"}, m.Options());
    run.Write(AcceptAll(m.cdrom()));
    ASSERT_TRUE(run.WaitFor(WaitingLine(m, getpid(), UserOf(getuid())))) << run.out();
    EXPECT_FALSE(Exists(m.inst() + "/data"));
    if (interrupted) {
      run.Signal(SIGINT);
      int status = run.Wait();
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    } else {
      close(held);
      held = -1;
      int status = run.Wait();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.out();
      EXPECT_EQ(ReadFile(m.inst() + "/data"), "data\n");
    }
    if (held >= 0) close(held);
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(Environment, VerificationAndChangesWaitForEachOther) {
  // A verification beside a running load reported the files not yet
  // unpacked as missing: it shares the lock with verifications alone.
  struct Case {
    const char* option;
    int held;  // the lock of the other installer
    bool waits;
  };
  for (Case c : {Case{"-verify", LOCK_EX, true}, Case{"-load", LOCK_SH, true},
                 Case{"-remove", LOCK_SH, true}, Case{"-verify", LOCK_SH, false}}) {
    SCOPED_TRACE(std::string(c.option) + (c.held == LOCK_EX ? " exclusive" : " shared"));
    HostileMedium m;
    m.Toc(OneFile());
    StageOneFile(m);
    if (std::string(c.option) != "-load") WriteFile(m.inst() + "/data", "data\n");
    int held = open(m.inst().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(held, c.held), 0);
    LiveRun run({c.option}, m.Options());
    run.Write(std::string(c.option) == "-verify" ? m.cdrom() + "\n\n\n\n" : AcceptAll(m.cdrom()));
    if (c.waits) {
      ASSERT_TRUE(run.WaitFor(WaitingLine(m, getpid(), UserOf(getuid())))) << run.out();
      EXPECT_EQ(run.out().find("Missing"), std::string::npos) << run.out();
      close(held);
      held = -1;
    }
    run.CloseInput();
    int status = run.Wait();
    if (held >= 0) close(held);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.out();
    EXPECT_EQ(run.out().find("waiting for") != std::string::npos, c.waits) << run.out();
    EXPECT_EQ(run.out().find("Missing"), std::string::npos) << run.out();
    EXPECT_EQ(Exists(m.inst() + "/data"), std::string(c.option) != "-remove");
  }
}

TEST(Environment, ALockHeldByAnotherUserIsWaitedForOnlyWhenTheyMayInstallThere) {
  // Anyone who can open the installation directory can hold its lock. The
  // line names who holds it; root, the owner of the directory and the
  // running user are waited for as long as they hold it, anyone else for a
  // few seconds only: then the run ends, saying whom and what to do.
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to be another user";
  enum Holder { kTheyLetGo, kTheyHoldOn, kRootHoldsOnAsTheyLoad };
  for (Holder holder_kind : {kTheyLetGo, kTheyHoldOn, kRootHoldsOnAsTheyLoad}) {
    SCOPED_TRACE(holder_kind);
    HostileMedium m;
    m.Toc(OneFile());
    StageOneFile(m);
    ASSERT_EQ(chmod(m.root().c_str(), 0755), 0);
    RunOptions options = m.Options();
    if (holder_kind == kRootHoldsOnAsTheyLoad) {
      for (const std::string& dir : {m.inst(), m.tmp()}) {
        ASSERT_EQ(chown(dir.c_str(), kOtherUser, kOtherUser), 0);
      }
      options.as_other_user = true;
      options.program = m.InstallerForOtherUser();
    }
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    std::string inst = m.inst();
    auto hold = [&] {
      int fd = open(inst.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0 || flock(fd, LOCK_EX) != 0) return 1;
      if (write(ready[1], "x", 1) != 1) return 1;
      pause();
      return 0;
    };
    pid_t holder = holder_kind == kRootHoldsOnAsTheyLoad ? fork() : StartAsOtherUser(hold);
    if (holder == 0) _exit(hold());
    close(ready[1]);
    char byte;
    bool locked = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    auto let_go = [&] {
      kill(holder, SIGKILL);
      waitpid(holder, nullptr, 0);
    };
    if (!locked) {
      let_go();
      FAIL() << "the holder could not lock the directory";
    }
    std::string user = holder_kind == kRootHoldsOnAsTheyLoad ? "root" : "nobody";
    LiveRun run({"-load"}, options);
    run.Write(AcceptAll(m.cdrom()));
    bool said = run.WaitFor(WaitingLine(m, holder, user));
    EXPECT_TRUE(said) << run.out();
    if (holder_kind == kTheyLetGo) let_go();
    if (holder_kind == kRootHoldsOnAsTheyLoad) {
      // Longer than anyone else is waited for.
      std::this_thread::sleep_for(kStrangerWait + std::chrono::seconds(1));
      EXPECT_FALSE(Exists(m.inst() + "/data"));
      let_go();
    }
    int status = run.Wait();
    if (holder_kind == kTheyHoldOn) {
      let_go();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << run.out();
      EXPECT_NE(run.out().find("install: not waiting longer for " + m.inst() + " (process " +
                               std::to_string(holder) +
                               " of nobody): held by a user who is neither root nor its owner; "
                               "end that process if it is no installation, or run again once it "
                               "has ended\n"),
                std::string::npos)
          << run.out();
      EXPECT_TRUE(EndsWith(run.out(), kExit)) << run.out();
      EXPECT_FALSE(Exists(m.inst() + "/data"));
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.out();
      EXPECT_EQ(ReadFile(m.inst() + "/data"), "data\n");
    }
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(Environment, AnInstallationDirectoryRemovedAfterItWasAccepted) {
  // Held open, a removed directory is still there for the run: the
  // operation must not start in it.
  for (const char* option : {"-load", "-verify", "-remove"}) {
    SCOPED_TRACE(option);
    HostileMedium m;
    m.Toc(OneFile());
    StageOneFile(m);
    LiveRun run({option}, m.Options());
    run.Write(m.cdrom() + "\n\n\n");
    ASSERT_TRUE(run.WaitFor(" [yes] ")) << run.out();
    ASSERT_EQ(rmdir(m.inst().c_str()), 0);
    run.Write("\n\n");
    run.CloseInput();
    int status = run.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << run.out();
    EXPECT_NE(run.out().find(m.inst() + ": No such file or directory\n"), std::string::npos)
        << run.out();
    EXPECT_TRUE(EndsWith(run.out(), kExit)) << run.out();
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(Environment, TextFromTheMediumCannotRewriteTheScreen) {
  HostileMedium m;
  std::string path = "caf\xc3\xa9\x1b[2J";
  m.Toc(TocHeader("Medium\x1b]0;title\x07") + TocTitle(1, true, "Base\rX") +
        TocEntry(1, 'F', 'O', "Gr\xc3\xbc\xc3\x9f\x65 \x1b[31mred\x7f", "01", 5, path));
  // The table of contents lists the file, the disk lacks it.
  RunResult r = m.Run("-verify", m.cdrom() + "\n\n\n\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nMedium^[]0;title^G\n------------------\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nBase^MX\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\tGr\xc3\xbc\xc3\x9f\x65 ^[[31mred^?"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Missing file --> caf\xc3\xa9^[[2J\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST(Environment, ATableOfContentsWrittenOnAnotherSystemLoads) {
  HostileMedium m;
  std::string toc = OneFile(), crlf;
  for (char c : toc) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  m.Toc(crlf);
  StageOneFile(m);
  RunResult r = m.Run("-load", AcceptAll(m.cdrom()));
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadFile(m.inst() + "/data"), "data\n");
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST(Environment, AnAnswerCostsMemoryInProportionToItsLength) {
  HostileMedium m;
  m.Toc(OneFile());
  std::string answer;
  answer.reserve(16 << 20);
  while (answer.size() < (16u << 20)) answer += "1 ";
  RunOptions options = m.Options();
  options.input = m.cdrom() + "\n\n" + answer + "\nq\ny\n";
  // The sanitizer's quarantine would keep every freed block.
  options.env["ASAN_OPTIONS"] = "quarantine_size_mb=0";
  RunResult r = RunInstall({"-load"}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Not a valid selection"), std::string::npos);
  EXPECT_LT(r.peak_kb, 200 << 10) << "peak " << r.peak_kb << " KB for a 16 MB answer";
}
