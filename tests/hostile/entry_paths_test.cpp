// Entry paths of a hostile table of contents: nothing outside the
// installation directory is created or deleted, nothing is run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/tocformat.hpp"
#include "hostile/hostile.hpp"
#include "support/texts.hpp"

namespace {

std::string OneCategory(const std::string& lines) {
  return TocHeader("Hostile") + TocTitle(1, true, "Things") + lines;
}

const std::vector<std::string> kMarkerOnly = {"marker"};

}  // namespace

TEST(HostileEntries, LoadRefusesEntriesThatLeadOutsideBeforeTarRuns) {
  enum Kind { kLinkedParent, kDotDot, kAbsolute, kDotDotInside };
  for (Kind kind : {kLinkedParent, kDotDot, kAbsolute, kDotDotInside}) {
    SCOPED_TRACE(kind);
    HostileMedium m;
    std::string entry;
    switch (kind) {
      case kLinkedParent:
        // tar would follow the link and write outside/evil.
        entry = "link/evil";
        m.Stage(entry, "payload");
        ASSERT_EQ(symlink(m.outside().c_str(), (m.inst() + "/link").c_str()), 0);
        break;
      case kDotDot:
        entry = "../outside/evil";
        break;
      case kAbsolute:
        entry = m.outside() + "/evil";
        break;
      case kDotDotInside:
        entry = "sub/../../outside/evil";
        MakeDirs(m.staging() + "/sub");
        break;
    }
    // The archive holds the member under exactly that name.
    if (kind != kLinkedParent) WriteFile(m.outside() + "/evil", "payload");
    m.Archive("01", {entry});
    std::filesystem::remove(m.outside() + "/evil");
    m.Toc(OneCategory(TocEntry(1, 'F', 'O', "Evil", "01", 7, entry)));

    RunResult r = m.Run("-load", AcceptAll(m.cdrom()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(kLoadFailed), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(kLoadFinished), std::string::npos);
    EXPECT_EQ(r.err, entry + ": not extracted: it leads outside the installation directory\n");
    EXPECT_EQ(m.OutsideTree(), kMarkerOnly);
    EXPECT_EQ(ListDir(m.inst()), kind == kLinkedParent ? std::vector<std::string>{"link"}
                                                       : std::vector<std::string>{});
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(HostileEntries, ALinkBroughtByAnEarlierArchiveIsNotFollowedByALaterOne) {
  HostileMedium m;
  // Archive 01 holds "lib" as a link to the outside directory, archive 02
  // a file below "lib".
  ASSERT_EQ(symlink(m.outside().c_str(), (m.staging() + "/lib").c_str()), 0);
  m.Archive("01", {"lib"});
  std::string other = m.root() + "/staging2";
  MakeDirs(other + "/lib");
  WriteFile(other + "/lib/evil", "payload");
  m.Archive("02", {"lib/evil"}, other);
  m.Toc(OneCategory(TocEntry(1, 'F', 'O', "Library", "01", 0, "lib") +
                    TocEntry(1, 'F', 'O', "Library", "02", 7, "lib/evil")));

  RunResult r = m.Run("-load", AcceptAll(m.cdrom()));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(kLoadFailed), std::string::npos) << r.out;
  EXPECT_EQ(m.OutsideTree(), kMarkerOnly);
  EXPECT_EQ(std::filesystem::read_symlink(m.inst() + "/lib").string(), m.outside());
}

TEST(HostileEntries, ANulByteEndsAnEntryPath) {
  HostileMedium m;
  // Given whole to tar's NUL-separated list, the bytes after the NUL would
  // be a second name, one that no check has seen.
  ASSERT_EQ(symlink(m.outside().c_str(), (m.inst() + "/link").c_str()), 0);
  m.Stage("ok", "fine");
  m.Stage("link/evil", "payload");
  m.Archive("01", {"ok", "link/evil"});
  m.Toc(OneCategory(TocEntry(1, 'F', 'O', "Smuggler", "01", 4, std::string("ok\0link/evil", 12))));

  RunResult r = m.Run("-load", AcceptAll(m.cdrom()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(kLoadFinished), std::string::npos);
  EXPECT_EQ(ReadFile(m.inst() + "/ok"), "fine");
  EXPECT_EQ(m.OutsideTree(), kMarkerOnly);
}

TEST(HostileEntries, ShellSyntaxAndOptionLikeNamesAreLoadedVerifiedAndRemovedAsNames) {
  HostileMedium m;
  const std::vector<std::string> names = {
      "--to-command=touch", "-P",      "x;touch${IFS}PWNED", "$(touch${IFS}PWNED)",
      "`touch${IFS}PWNED`", "a|b&c>d", "-rf/inner"};
  std::string lines = TocEntry(1, 'D', 'O', "Odd", "01", 0, "-rf");
  for (const std::string& name : names) {
    m.Stage(name, "content of " + name);
    lines += TocEntry(1, 'F', '*', "Odd", "01", 10, name);
  }
  m.Archive("01", {"--to-command=touch", "-P", "x;touch${IFS}PWNED", "$(touch${IFS}PWNED)",
                   "`touch${IFS}PWNED`", "a|b&c>d", "-rf"});
  m.Toc(OneCategory(lines));
  auto nothing_ran = [&] {
    for (const std::string& dir : {m.inst(), m.cdrom(), m.root(), m.staging()}) {
      EXPECT_FALSE(Exists(dir + "/PWNED")) << dir;
    }
  };

  RunResult load = m.Run("-load", AcceptAll(m.cdrom()));
  EXPECT_EQ(load.status, 0) << load.err;
  for (const std::string& name : names) {
    EXPECT_EQ(ReadFile(m.inst() + "/" + name), "content of " + name) << name;
  }
  nothing_ran();

  RunResult verify = m.Run("-verify", m.cdrom() + "\n\n\n\n");
  EXPECT_EQ(verify.status, 0);
  EXPECT_NE(verify.out.find("Number of missing files: none\n"), std::string::npos) << verify.out;

  RunResult remove = m.Run("-remove", m.cdrom() + "\n\n\n\ny\n");
  EXPECT_EQ(remove.status, 0);
  EXPECT_NE(remove.out.find("  Deleted: -rf\n"), std::string::npos) << remove.out;
  EXPECT_EQ(ListDir(m.inst()), std::vector<std::string>{});
  nothing_ran();
  EXPECT_EQ(m.OutsideTree(), kMarkerOnly);
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}

TEST(HostileEntries, VerifyAndRemoveDoNotReachThroughALinkOrUpwards) {
  HostileMedium m;
  MakeDirs(m.outside() + "/dir");
  WriteFile(m.outside() + "/dir/inner", "x");
  WriteFile(m.outside() + "/victim", "x");
  ASSERT_EQ(symlink(m.outside().c_str(), (m.inst() + "/link").c_str()), 0);
  m.Toc(OneCategory(TocEntry(1, 'F', 'O', "Reach", "01", 1, "link/victim") +
                    TocEntry(1, 'D', '*', "Reach", "01", 1, "link/dir") +
                    TocEntry(1, 'F', '*', "Reach", "01", 1, "../outside/marker") +
                    TocEntry(1, 'D', '*', "Reach", "01", 1, m.outside() + "/dir")));
  const std::vector<std::string> before = m.OutsideTree();

  RunResult verify = m.Run("-verify", m.cdrom() + "\n\n\n\n");
  EXPECT_EQ(verify.status, 0);
  EXPECT_EQ(m.OutsideTree(), before);

  RunResult remove = m.Run("-remove", m.cdrom() + "\n\n\n\ny\n");
  EXPECT_EQ(remove.status, 0);
  EXPECT_NE(remove.out.find("\nWarning: Unable to delete file: link/victim\n"
                            "Warning: Directory delete error, Directory: link/dir\n"
                            "Warning: Unable to delete file: ../outside/marker\n"
                            "Warning: Directory delete error, Directory: " +
                            m.outside() + "/dir\n"),
            std::string::npos)
      << remove.out;
  EXPECT_EQ(m.OutsideTree(), before);
  EXPECT_TRUE(Exists(m.inst() + "/link"));
}
