// A fifo or a device under a table-of-contents or catalogue name: opening
// a fifo waits for a writer that never comes, and a device such as
// /dev/zero never ends. Such names are passed over like missing ones.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/tocformat.hpp"
#include "hostile/hostile.hpp"
#include "support/texts.hpp"

namespace {

// Runs to the end with `input`; fails the test (never hangs) when the run
// does not end within ten seconds.
std::string RunToEnd(const HostileMedium& m, const std::string& input,
                     std::map<std::string, std::optional<std::string>> env = {}, int expected = 0,
                     const std::vector<std::string>& args = {"-load"}) {
  RunOptions options = m.Options();
  options.env = std::move(env);
  LiveRun run(args, options);
  run.Write(input);
  run.CloseInput();
  int status = run.Wait(10000);
  EXPECT_NE(status, -1) << "the run hung:\n" << run.out();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == expected) << status << "\n" << run.out();
  return run.out();
}

const std::string kToc = TocHeader("Real Product") + TocTitle(1, true, "Base");

}  // namespace

TEST(SpecialFiles, TablesOfContentsThatAreNoRegularFiles) {
  HostileMedium m;
  // At the mount point: a fifo first, the real one under a later name.
  ASSERT_EQ(mkfifo((m.cdrom() + "/01.toc").c_str(), 0644), 0);
  WriteFile(m.cdrom() + "/01.TOC", kToc);
  std::string out = RunToEnd(m, m.cdrom() + "\n\nq\ny\n");
  EXPECT_NE(out.find("\nReal Product\n------------\n"), std::string::npos) << out;

  // In the product walk: a fifo, a link to /dev/zero and a directory under
  // the names make no product.
  std::string media = m.root() + "/media";
  MakeDirs(media + "/fifo");
  MakeDirs(media + "/zero");
  MakeDirs(media + "/dir/01.toc");
  MakeDirs(media + "/real");
  ASSERT_EQ(mkfifo((media + "/fifo/01.toc").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", (media + "/zero/01.toc").c_str()), 0);
  WriteFile(media + "/real/01.toc", kToc);
  out = RunToEnd(m, media + "\nq\ny\n");
  EXPECT_NE(out.find("   1 - " + media + "/real\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("   2 - "), std::string::npos);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(SpecialFiles, ATableOfContentsNamedOnTheCommandLineIsARegularFile) {
  // A fifo held the run up for good, /dev/zero exhausted its memory and
  // /dev/null ended it on a missing working file: each is reported as a
  // file that does not open, before any question.
  HostileMedium m;
  std::string missing = m.root() + "/missing.toc", fifo = m.root() + "/fifo.toc";
  std::string said = RunToEnd(m, "", {}, 0, {"-load", missing});
  ASSERT_NE(said.find("\"" + missing + "\"\n"), std::string::npos) << said;
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    std::string expected = said;
    expected.replace(expected.find(missing), missing.size(), path);
    EXPECT_EQ(RunToEnd(m, "\n\n\n\n", {}, 0, {"-load", path}), expected);
  }
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(SpecialFiles, ArchivesThatAreNoRegularFiles) {
  // A fifo under the name of the compression probe is no compressed medium;
  // a fifo under the name of an archive is a missing archive: the load
  // fails at once instead of waiting for a writer.
  HostileMedium m;
  m.Toc(kToc + TocEntry(1, 'F', 'O', "Data", "01", 1, "data"));
  m.Stage("data", "d");
  m.Archive("01", {"data"});
  ASSERT_EQ(mkfifo((m.cdrom() + "/02tar.z").c_str(), 0644), 0);
  std::string out = RunToEnd(m, AcceptAll(m.cdrom()));
  EXPECT_NE(out.find(kLoadFinished), std::string::npos) << out;
  EXPECT_EQ(ReadFile(m.inst() + "/data"), "d");

  ASSERT_EQ(unlink((m.cdrom() + "/01.tar").c_str()), 0);
  ASSERT_EQ(mkfifo((m.cdrom() + "/01.tar").c_str(), 0644), 0);
  out = RunToEnd(m, AcceptAll(m.cdrom()), {}, 1);
  EXPECT_NE(out.find(kLoadFailed), std::string::npos) << out;
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(SpecialFiles, ACatalogueThatIsAFifo) {
  HostileMedium m;
  ASSERT_EQ(mkfifo((m.inst() + "/de.nls").c_str(), 0644), 0);
  std::string out = RunToEnd(m, "q\ny\n", {{"LANG", "de_DE"}});
  EXPECT_NE(out.find("Unable to locate message file on all known CD-ROM mount points."),
            std::string::npos)
      << out;
}
