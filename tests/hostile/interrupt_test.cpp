// SIGINT, SIGTERM and SIGHUP at a question and in the middle of a load: the
// run ends by that very signal, leaves no working file and no child behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "common/tocformat.hpp"
#include "hostile/hostile.hpp"
#include "support/archives.hpp"
#include "support/texts.hpp"

namespace {

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void WriteToc(const HostileMedium& m) {
  m.Toc(TocHeader("Medium") + TocTitle(1, true, "Base") +
        TocEntry(1, 'F', 'O', "Data", "01", 1, "data"));
}

// Polls `done` for up to ten seconds.
template <typename Fn>
bool Eventually(Fn done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool Gone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

void ExpectEndedBy(int status, int sig) {
  ASSERT_NE(status, -1) << "the run did not end";
  EXPECT_TRUE(WIFSIGNALED(status)) << "status " << status;
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(WTERMSIG(status), sig);
  }
}

// The files "one" and "two", each in a compressed archive of its own.
void TwoCompressedArchives(HostileMedium& m) {
  m.Toc(TocHeader("Medium") + TocTitle(1, true, "Base") +
        TocEntry(1, 'F', 'O', "One", "01", 1, "one") +
        TocEntry(1, 'F', 'O', "Two", "02", 1, "two"));
  m.Stage("one", "1");
  m.Stage("two", "2");
  MakeTarArchive(m.cdrom() + "/01tar.z", m.staging(), {"one"}, true);
  MakeTarArchive(m.cdrom() + "/02tar.z", m.staging(), {"two"}, true);
}

}  // namespace

TEST(Interrupts, AtAQuestionTheRunEndsByTheSignalAndRemovesItsFiles) {
  for (int sig : kSignals) {
    SCOPED_TRACE(strsignal(sig));
    HostileMedium m;
    WriteToc(m);
    RunOptions options = m.Options();
    // A strict run too ends by the signal, which a shell shows as 128+N.
    if (sig == SIGTERM) options.env["ZULSTRICT"] = "1";
    LiveRun run({"-load"}, options);
    ASSERT_TRUE(run.WaitFor("Enter CD-ROM mount point: [/mnt/cdrom] ")) << run.out();
    run.Write(m.cdrom() + "\n\n");
    ASSERT_TRUE(run.WaitFor("Package numbers to load: [all] ")) << run.out();
    std::vector<std::string> work = ListDir(m.tmp());
    ASSERT_EQ(work.size(), 1u);
    EXPECT_TRUE(Exists(m.tmp() + "/" + work[0] + "/MOD"));
    run.Signal(sig);
    ExpectEndedBy(run.Wait(), sig);
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(Interrupts, InTheMiddleOfALoadTheChildrenEndFirst) {
  for (int sig : kSignals) {
    SCOPED_TRACE(strsignal(sig));
    HostileMedium m;
    WriteToc(m);
    RunOptions options = m.Options();
    std::string pid_file = m.root() + "/gunzip.pid";
    // A gunzip that never ends, with tar waiting on the pipe from it; it
    // keeps its process id when it becomes sleep. (Children get no variable
    // of ours, and unconfined it may write beside the medium.)
    std::string path = m.PathWithGunzip("echo $$ > \"" + pid_file + ".new\"\nmv \"" + pid_file +
                                        ".new\" \"" + pid_file + "\"\nexec sleep 60\n");
    m.Stage("data", "d");
    MakeTarArchive(m.cdrom() + "/01tar.z", m.staging(), {"data"}, true);
    MakeTarArchive(m.cdrom() + "/02tar.z", m.staging(), {"data"}, true);
    options.env = {{"PATH", path}, {"ZULCONFINE", "off"}};
    LiveRun run({"-load"}, options);
    run.Write(AcceptAll(m.cdrom()));
    ASSERT_TRUE(run.WaitFor("Loading package(s), Please wait...")) << run.out();
    // The installer runs gunzip and tar.
    std::vector<pid_t> children;
    ASSERT_TRUE(Eventually([&] { return (children = ChildrenOf(run.pid())).size() == 2; }));
    ASSERT_TRUE(Eventually([&] { return Exists(pid_file); }));
    pid_t gunzip = std::atoi(ReadFile(pid_file).c_str());
    ASSERT_GT(gunzip, 0);
    run.Signal(sig);
    ExpectEndedBy(run.Wait(), sig);
    EXPECT_TRUE(ListDir(m.tmp()).empty());
    for (pid_t child : children) EXPECT_TRUE(Gone(child)) << "child " << child << " still runs";
    EXPECT_TRUE(Gone(gunzip)) << "gunzip " << gunzip << " still runs";
    EXPECT_EQ(run.out().find(kLoadFinished), std::string::npos);
    // Whatever a failure left behind goes with the test.
    for (pid_t left : children) kill(left, SIGKILL);
    if (!Gone(gunzip)) kill(gunzip, SIGKILL);
  }
}

// Two archives extracted side by side: every tar and gunzip of both ends
// before the run does.
TEST(Interrupts, BatchesSideBySideAllEndFirst) {
  HostileMedium m;
  TwoCompressedArchives(m);
  // A gunzip that serves each archive's listing and then never ends on
  // its extraction.
  std::string seen = m.root() + "/seen";
  MakeDirs(seen);
  std::string path = m.PathWithGunzip(
      "SEEN=" + seen +
      "\nseen=\"$SEEN/$(basename \"$(readlink /proc/$$/fd/0)\")\"\n"
      "if [ -e \"$seen\" ]; then echo $$ >> \"$SEEN/sleepers\"; exec sleep 60; fi\n"
      "touch \"$seen\"\nexec gzip -dc\n");
  RunOptions options = m.Options();
  options.env = {{"PATH", path}, {"ZULJOBS", "2"}, {"ZULCONFINE", "off"}};
  LiveRun run({"-load"}, options);
  run.Write(AcceptAll(m.cdrom()));
  std::string sleepers = seen + "/sleepers";
  auto both = [&] {
    std::string pids = Exists(sleepers) ? ReadFile(sleepers) : "";
    return std::count(pids.begin(), pids.end(), '\n') == 2;
  };
  ASSERT_TRUE(Eventually(both)) << run.out();
  std::vector<pid_t> children;
  ASSERT_TRUE(Eventually([&] { return (children = ChildrenOf(run.pid())).size() == 4; }));
  run.Signal(SIGTERM);
  ExpectEndedBy(run.Wait(), SIGTERM);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
  for (pid_t child : children) EXPECT_TRUE(Gone(child)) << "child " << child << " still runs";
  std::istringstream gunzips(ReadFile(sleepers));
  for (pid_t gunzip; gunzips >> gunzip;) {
    EXPECT_TRUE(Gone(gunzip)) << "gunzip " << gunzip << " still runs";
    if (!Gone(gunzip)) kill(gunzip, SIGKILL);
  }
  for (pid_t left : children) kill(left, SIGKILL);
}

// The receipt is written before the first archive is unpacked: after an
// interrupt it still names what the load had unpacked, and removes it.
TEST(Interrupts, AReceiptOfAnInterruptedLoadRemovesWhatWasUnpacked) {
  HostileMedium m;
  TwoCompressedArchives(m);
  // A gunzip that never ends on the second archive (its standard input).
  std::string path = m.PathWithGunzip(
      "case \"$(readlink /proc/$$/fd/0)\" in *02tar.z) exec sleep 60;; esac\nexec gzip -dc\n");
  std::string receipt = m.root() + "/receipt.toc";
  RunOptions options = m.Options();
  options.env = {{"PATH", path}, {"ZULRECEIPT", receipt}, {"ZULCONFINE", "off"}};
  LiveRun run({"-load"}, options);
  run.Write(AcceptAll(m.cdrom()));
  ASSERT_TRUE(Eventually([&] { return Exists(m.inst() + "/one"); })) << run.out();
  run.Signal(SIGTERM);
  ExpectEndedBy(run.Wait(), SIGTERM);
  EXPECT_FALSE(Exists(m.inst() + "/two"));
  std::string kept = ReadFile(receipt);
  EXPECT_NE(kept.find("one\n"), std::string::npos) << kept;
  EXPECT_NE(kept.find("two\n"), std::string::npos) << kept;

  // The medium is not needed: any directory is taken as the mount point.
  std::filesystem::remove_all(m.cdrom());
  options = m.Options();
  options.input = AcceptAll(m.root());
  RunResult remove = RunInstall({"-remove", receipt}, options);
  EXPECT_EQ(remove.status, 0) << remove.out << remove.err;
  EXPECT_TRUE(ListDir(m.inst()).empty());
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(Interrupts, ASignalIgnoredFromTheStartStaysIgnored) {
  HostileMedium m;
  WriteToc(m);
  RunOptions options = m.Options();
  options.ignored_signals = {SIGHUP};
  LiveRun run({"-load"}, options);
  ASSERT_TRUE(run.WaitFor("Enter CD-ROM mount point: [/mnt/cdrom] ")) << run.out();
  run.Write(m.cdrom() + "\n\n");
  ASSERT_TRUE(run.WaitFor("Package numbers to load: [all] ")) << run.out();
  run.Signal(SIGHUP);
  run.Write("q\ny\n");
  int status = run.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}
