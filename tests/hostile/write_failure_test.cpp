// A load whose writing fails part-way (a file-size limit, which holds for
// root too) is a failed load: message 59 and status 1, never message 60.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "common/tocformat.hpp"
#include "hostile/hostile.hpp"
#include "support/archives.hpp"
#include "support/texts.hpp"

TEST(WriteFailures, AFileSizeLimitFailsTheLoad) {
  enum Kind { kKilledBySignal, kWriteError, kCompressed };
  for (Kind kind : {kKilledBySignal, kWriteError, kCompressed}) {
    SCOPED_TRACE(kind);
    HostileMedium m;
    m.Stage("small", "small");
    m.Stage("big", std::string(2 << 20, 'b'));
    if (kind == kCompressed) {
      MakeTarArchive(m.cdrom() + "/01tar.z", m.staging(), {"small", "big"}, true);
      MakeTarArchive(m.cdrom() + "/02tar.z", m.staging(), {"small"}, true);
    } else {
      m.Archive("01", {"small", "big"});
    }
    m.Toc(TocHeader("Medium") + TocTitle(1, true, "Base") +
          TocEntry(1, 'F', 'O', "Data", "01", 5, "small") +
          TocEntry(1, 'F', '*', "Data", "01", 2 << 20, "big"));
    RunOptions options = m.Options();
    options.file_size_limit = 256 << 10;
    // tar is killed by SIGXFSZ, or with the signal ignored gets EFBIG.
    if (kind == kWriteError) options.ignored_signals = {SIGXFSZ};
    LiveRun run({"-load"}, options);
    run.Write(AcceptAll(m.cdrom()));
    run.CloseInput();
    int status = run.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << status << "\n" << run.out();
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(run.out().find(kLoadFailed), std::string::npos) << run.out();
    EXPECT_EQ(run.out().find(kLoadFinished), std::string::npos);
    EXPECT_EQ(ReadFile(m.inst() + "/small"), "small");
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}
