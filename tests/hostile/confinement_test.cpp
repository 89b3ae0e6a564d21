// Attacks on a load or a removal run as root: a hostile medium alone, and
// another user ("nobody") changing the tree while the installer works. Each
// runs in the three confinements of tar and rm: the strongest the kernel
// allows (a private root with Landlock inside), Landlock alone
// (ZULCONFINE=landlock) and none (ZULCONFINE=off); nothing outside the
// installation directory may change in any.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/tocformat.hpp"
#include "hostile/hostile.hpp"
#include "support/archives.hpp"
#include "support/texts.hpp"

namespace {

using Env = std::map<std::string, std::optional<std::string>>;

const std::string kModes[] = {"", "landlock", "off"};

Env Confine(const std::string& mode) {
  return {{"ZULCONFINE", mode.empty() ? std::nullopt : std::optional<std::string>(mode)}};
}

// Whether tar and rm run in a private root in `mode`.
bool PrivateRoot(const std::string& mode) { return mode.empty(); }

std::string Traced(const std::string& mode) { return mode.empty() ? "strongest" : mode; }

std::string Toc(const std::string& lines) {
  return TocHeader("Hostile") + TocTitle(1, true, "Things") + lines;
}

std::string File(const std::string& path, const std::string& archive = "01") {
  return TocEntry(1, 'F', 'O', "Thing", archive, 1, path);
}

std::string Directory(const std::string& path, const std::string& archive = "01") {
  return TocEntry(1, 'D', 'O', "Thing", archive, 1, path);
}

// Adds `member` of `from` to the end of `archive`.
void Append(const std::string& archive, const std::string& from, const std::string& member) {
  ASSERT_EQ(RunBinary("/bin/tar", {"rf", archive, "-C", from, "--", member}, {}).status, 0);
}

void Link(const std::string& target, const std::string& at) {
  MakeDirs(std::filesystem::path(at).parent_path().string());
  ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0) << at;
}

// A directory of the other user's, with the file "data".
std::string TheirDirectory(const HostileMedium& m) {
  std::string theirs = m.root() + "/theirs";
  MakeDirs(theirs);
  WriteFile(theirs + "/data", "theirs\n");
  EXPECT_EQ(chown(theirs.c_str(), kOtherUser, kOtherUser), 0);
  return theirs;
}

// A gunzip first in PATH that lets tar list an archive and then, when tar
// extracts from it, says so and goes on only when told: the moment another
// user acts.
class HeldExtraction {
 public:
  HeldExtraction(const HostileMedium& m, const std::string& mode)
      : started_(m.root() + "/started"), go_(m.root() + "/go") {
    options = m.Options();
    options.env = Confine(mode);
    options.env["PATH"] = m.PathWithGunzip(
        "if [ -e \"$STARTED.listed\" ]; then touch \"$STARTED\"; while [ ! -e \"$GO\" ]; do "
        "sleep 0.05; done; fi\ntouch \"$STARTED.listed\"\nexec gzip -dc\n");
    options.env["STARTED"] = started_;
    options.env["GO"] = go_;
  }

  // True once tar extracts; false when the run ended first.
  bool WaitUntilExtracting(LiveRun& run) {
    for (int i = 0; i < 500 && !Extracted() && !run.WaitFor("Exiting...", 10); ++i) {
    }
    return Extracted();
  }
  bool Extracted() const { return Exists(started_); }
  void Go() { WriteFile(go_, ""); }

  RunOptions options;

 private:
  std::string started_, go_;
};

// Lets the other user reach the test's directories.
void OpenToOtherUser(const HostileMedium& m) { ASSERT_EQ(chmod(m.root().c_str(), 0755), 0); }

}  // namespace

TEST(Confinement, AHostileMediumAloneNeverWritesOutside) {
  enum Attack { kLinksAcrossArchives, kLinksAcrossBatches, kLinkOnDisk };
  for (const std::string& mode : kModes) {
    for (Attack attack : {kLinksAcrossArchives, kLinksAcrossBatches, kLinkOnDisk}) {
      SCOPED_TRACE(std::to_string(attack) + " " + Traced(mode));
      HostileMedium m;
      std::string links = m.root() + "/links", payload = m.root() + "/payload";
      // up -> .. leads to the parent of the installation directory, x -> up
      // through it, and x/outside/evil would land in root/outside.
      Link("..", links + "/up");
      Link("up", links + "/x");
      MakeDirs(payload + "/x/outside");
      WriteFile(payload + "/x/outside/evil", "evil\n");
      switch (attack) {
        case kLinksAcrossArchives:
          MakeTarArchive(m.cdrom() + "/01.tar", links, {"up"});
          MakeTarArchive(m.cdrom() + "/02.tar", links, {"x"});
          Append(m.cdrom() + "/02.tar", payload, "x/outside/evil");
          m.Toc(Toc(File("up") + File("x", "02")));
          break;
        case kLinksAcrossBatches:
          // One archive that the table of contents splits into two batches.
          MakeTarArchive(m.cdrom() + "/01.tar", links, {"up", "x"});
          Append(m.cdrom() + "/01.tar", payload, "x/outside/evil");
          m.Stage("y", "y\n");
          m.Archive("02", {"y"});
          m.Toc(Toc(File("up") + File("y", "02") + File("x")));
          break;
        case kLinkOnDisk:
          // The installation directory already links outside; the medium
          // lists the directory and holds a file below it.
          Link(m.outside(), m.inst() + "/share");
          m.Stage("share/evil", "evil\n");
          m.Archive("01", {"share"});
          m.Toc(Toc(Directory("share")));
          break;
      }
      RunResult r = m.Run("-load", AcceptAll(m.cdrom()), Confine(mode));
      EXPECT_EQ(r.status, 1) << r.out;
      EXPECT_NE(r.out.find(kLoadFailed), std::string::npos) << r.out;
      // A directory member where a link stands would make tar replace the
      // link; everything else is judged through it.
      std::string why = attack == kLinkOnDisk ? "a directory would replace a link"
                                              : "it leads outside the installation directory";
      EXPECT_NE(r.err.find(": not extracted: " + why + "\n"), std::string::npos) << r.err;
      EXPECT_EQ(m.OutsideTree(), std::vector<std::string>{"marker"});
      EXPECT_FALSE(Exists(m.root() + "/outside/evil"));
      EXPECT_TRUE(ListDir(m.tmp()).empty());
    }
  }
}

// Each first archive hides "up -> .." from any reader of archives but tar
// itself, or from a model of tar that follows links by hand; the second
// archive then writes through it into root/outside, and its directory
// member would change that directory's mode.
TEST(Confinement, WhatTarMakesIsWhatIsJudged) {
  enum Trick {
    kSizeWithLeadingNul,
    kGlobalHeader,
    kLongLinkAndPax,
    kOldGzipMagic,
    kHardLinkToLink,
    kHardLinkOnDisk,
    kLinkWithData
  };
  for (const std::string& mode : kModes) {
    for (Trick trick : {kSizeWithLeadingNul, kGlobalHeader, kLongLinkAndPax, kOldGzipMagic,
                        kHardLinkToLink, kHardLinkOnDisk, kLinkWithData}) {
      SCOPED_TRACE(std::to_string(trick) + " " + Traced(mode));
      HostileMedium m;
      bool gzip = trick == kOldGzipMagic;
      std::string first = m.cdrom() + (gzip ? "/01tar.z" : "/01.tar");
      std::string second = m.cdrom() + (gzip ? "/02tar.z" : "/02.tar");
      std::string a = m.root() + "/a", b = m.root() + "/b", scratch = m.root() + "/scratch.tar";
      MakeDirs(a);
      MakeDirs(b + "/up");
      switch (trick) {
        case kSizeWithLeadingNul:
          // tar reads the size 1024 after a NUL; a reader that takes the
          // NUL for the end reads 0 and then two empty blocks.
          WriteFile(a + "/pad", std::string(1024, '\0'));
          Link("..", a + "/up");
          MakeTarArchive(first, a, {"pad", "up"});
          PatchHeader(first, 0, 124,
                      std::string("\0"
                                  "0000002000",
                                  11));
          break;
        case kGlobalHeader:
          // A global header gives every later link the target "..".
          Link("harmless", a + "/up");
          ASSERT_EQ(
              RunBinary("/bin/tar",
                        {"--format=pax", "--pax-option=linkpath=..", "-cf", first, "-C", a, "up"},
                        {})
                  .status,
              0);
          break;
        case kLongLinkAndPax: {
          // Two targets for one link: ".." in a pax header, a long harmless
          // one in a GNU long-link header after it. Readers take one or the
          // other.
          Link("harmless", a + "/up");
          ASSERT_EQ(
              RunBinary(
                  "/bin/tar",
                  {"--format=pax", "--pax-option=linkpath:=..", "-cf", scratch, "-C", a, "up"}, {})
                  .status,
              0);
          std::string pax = ReadFile(scratch).substr(0, 1024);
          std::filesystem::remove(a + "/up");
          Link(std::string(150, 'h'), a + "/up");
          ASSERT_EQ(
              RunBinary("/bin/tar", {"--format=gnu", "-cf", scratch, "-C", a, "up"}, {}).status, 0);
          // The long-link header, its one block of target, the link's header.
          WriteFile(first, pax + ReadFile(scratch).substr(0, 1536) + std::string(1024, '\0'));
          break;
        }
        case kOldGzipMagic: {
          // The link is in a second gzip member with the old magic number,
          // which gunzip decompresses.
          WriteFile(a + "/y", "y");
          Link("..", a + "/up");
          MakeTarArchive(scratch, a, {"y", "up"});
          std::string tar = ReadFile(scratch);
          std::string rest = Gzipped(tar.substr(1024));
          rest[1] = '\x9e';
          WriteFile(first, Gzipped(tar.substr(0, 1024)) + rest);
          break;
        }
        case kHardLinkToLink:
          // "up/" is a directory, then "up" a hard link to the link "l":
          // itself a link to "..".
          Link("..", a + "/l");
          ASSERT_EQ(link((a + "/l").c_str(), (a + "/up").c_str()), 0);
          ASSERT_EQ(
              RunBinary("/bin/tar", {"-cf", first, "-C", a, "l", "-C", b, "up/", "-C", a, "up"}, {})
                  .status,
              0);
          break;
        case kHardLinkOnDisk:
          // The link "l" is already there; the archive makes "up" a second
          // name of it.
          Link("..", m.inst() + "/l");
          WriteFile(a + "/l", "");
          ASSERT_EQ(link((a + "/l").c_str(), (a + "/up").c_str()), 0);
          MakeTarArchive(scratch, a, {"l", "up"});
          ASSERT_EQ(RunBinary("/bin/tar", {"--delete", "-f", scratch, "l"}, {}).status, 0);
          MakeTarArchive(first, b, {"up/"});
          ASSERT_EQ(RunBinary("/bin/tar", {"-A", "-f", first, scratch}, {}).status, 0);
          break;
        case kLinkWithData:
          // The link's size says 512: tar lists only "l", skipping "up" as
          // its data, and makes both.
          Link("a", a + "/l");
          Link("..", a + "/up");
          MakeTarArchive(first, a, {"l", "up"});
          PatchHeader(first, 0, 124, "00000001000");
          break;
      }
      MakeDirs(b + "/up/outside");
      WriteFile(b + "/up/outside/evil", "evil\n");
      ASSERT_EQ(chmod((b + "/up/outside").c_str(), 0777), 0);
      MakeTarArchive(second, b, {"up/outside/", "up/outside/evil"}, gzip);
      std::string chosen = trick == kHardLinkToLink ? File("l") + File("up")
                           : trick == kLinkWithData ? File("l")
                                                    : File("up");
      m.Toc(Toc(chosen + Directory("up/outside", "02")));
      struct stat before, after;
      ASSERT_EQ(stat(m.outside().c_str(), &before), 0);
      RunResult r = m.Run("-load", AcceptAll(m.cdrom()), Confine(mode));
      EXPECT_EQ(r.status, 1) << r.out;
      EXPECT_NE(r.out.find(kLoadFailed), std::string::npos) << r.out;
      // The first batch fails before tar makes anything of it.
      std::string why =
          trick == kLinkWithData
              ? "l: not extracted: it is a link or a directory that says it holds data"
              : ": not extracted: it leads outside the installation directory";
      EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
      if (trick == kLinkWithData) {
        EXPECT_FALSE(Exists(m.inst() + "/up"));
      }
      EXPECT_EQ(m.OutsideTree(), std::vector<std::string>{"marker"});
      ASSERT_EQ(stat(m.outside().c_str(), &after), 0);
      EXPECT_EQ(after.st_mode, before.st_mode);
      EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
      EXPECT_TRUE(ListDir(m.tmp()).empty());
    }
  }
}

TEST(Confinement, LinksInsideTheTreeLoadAndRemove) {
  for (const std::string& mode : kModes) {
    SCOPED_TRACE(Traced(mode));
    HostileMedium m;
    // docs -> share/doc and abs -> INST/share from the first archive (the
    // second through the installation directory's own path); the second
    // archive writes through both.
    m.Stage("share/doc/intro", "intro\n");
    Link("share/doc", m.staging() + "/docs");
    Link(m.inst() + "/share", m.staging() + "/abs");
    m.Archive("01", {"share", "docs", "abs"});
    MakeDirs(m.root() + "/second/docs");
    MakeDirs(m.root() + "/second/abs");
    WriteFile(m.root() + "/second/docs/readme", "readme\n");
    WriteFile(m.root() + "/second/abs/news", "news\n");
    MakeTarArchive(m.cdrom() + "/02.tar", m.root() + "/second", {"docs/readme", "abs/news"});
    std::string toc = Directory("share") + File("docs") + File("abs") + File("docs/readme", "02") +
                      File("abs/news", "02");
    m.Toc(Toc(toc));
    RunResult load = m.Run("-load", AcceptAll(m.cdrom()), Confine(mode));
    EXPECT_EQ(load.status, 0) << load.out << load.err;
    EXPECT_EQ(ReadFile(m.inst() + "/share/doc/readme"), "readme\n");
    EXPECT_EQ(ReadFile(m.inst() + "/share/news"), "news\n");

    // Removal reaches docs/readme and abs/news through the links, then the
    // rest.
    m.Toc(Toc(File("docs/readme") + File("abs/news") + File("docs") + File("abs") +
              Directory("share")));
    RunResult remove = m.Run("-remove", m.cdrom() + "\n\n\nyes\n\n", Confine(mode));
    EXPECT_EQ(remove.status, 0) << remove.out << remove.err;
    EXPECT_EQ(remove.out.find("Warning"), std::string::npos) << remove.out;
    EXPECT_TRUE(ListDir(m.inst()).empty());
    EXPECT_EQ(m.OutsideTree(), std::vector<std::string>{"marker"});
  }
}

// A user who is not root gets a private root of their own (a user namespace
// mapped to themselves) where the kernel allows it, and loads and removes
// as before.
TEST(Confinement, AUserWhoIsNotRootLoadsAndRemoves) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  for (const std::string& mode : kModes) {
    SCOPED_TRACE(Traced(mode));
    HostileMedium m;
    OpenToOtherUser(m);
    ASSERT_EQ(chmod(m.tmp().c_str(), 0755), 0);
    ASSERT_EQ(chown(m.tmp().c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chown(m.inst().c_str(), kOtherUser, kOtherUser), 0);
    m.Stage("share/doc/intro", "intro\n");
    Link("share/doc", m.staging() + "/docs");
    m.Archive("01", {"share", "docs"});
    m.Toc(Toc(Directory("share") + File("docs")));
    std::string program = m.InstallerForOtherUser();
    RunOptions options = m.Options();
    options.env = Confine(mode);
    options.as_other_user = true;
    options.input = AcceptAll(m.cdrom());
    RunResult load = RunBinary(program, {"-load"}, options);
    EXPECT_EQ(load.status, 0) << load.out << load.err;
    EXPECT_EQ(load.err, "");
    EXPECT_EQ(ReadFile(m.inst() + "/docs/intro"), "intro\n");
    struct stat st;
    ASSERT_EQ(lstat((m.inst() + "/share/doc/intro").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kOtherUser);

    // The link first: removal reaches it before what it leads to.
    m.Toc(Toc(File("docs") + Directory("share")));
    options.input = m.cdrom() + "\n\n\nyes\n\n";
    RunResult remove = RunBinary(program, {"-remove"}, options);
    EXPECT_EQ(remove.status, 0) << remove.out << remove.err;
    EXPECT_EQ(remove.out.find("Warning"), std::string::npos) << remove.out;
    EXPECT_TRUE(ListDir(m.inst()).empty());
    EXPECT_TRUE(ListDir(m.tmp()).empty());
  }
}

TEST(Confinement, TheInstallationDirectoryIsHeldThroughTheDialogue) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  for (const std::string& mode : kModes) {
    for (const char* option : {"-load", "-remove"}) {
      SCOPED_TRACE(std::string(option) + " " + Traced(mode));
      HostileMedium m;
      OpenToOtherUser(m);
      std::string theirs = TheirDirectory(m);
      std::string home = m.root() + "/home", app = home + "/app";
      MakeDirs(app);
      ASSERT_EQ(chown(home.c_str(), kOtherUser, kOtherUser), 0);
      m.Stage("data", "ours\n");
      m.Archive("01", {"data"});
      m.Toc(Toc(File("data")));
      if (std::string(option) == "-remove") WriteFile(app + "/data", "ours\n");

      RunOptions options = m.Options();
      options.env = Confine(mode);
      LiveRun run({option}, options);
      run.Write(m.cdrom() + "\n" + app + "\n");
      ASSERT_TRUE(run.WaitFor("[all] ")) << run.out();
      // While the operator answers, the owner of home swaps app for a link.
      ASSERT_EQ(AsOtherUser([&] {
                  return rename(app.c_str(), (home + "/app.old").c_str()) == 0 &&
                                 symlink(theirs.c_str(), app.c_str()) == 0
                             ? 0
                             : 1;
                }),
                0);
      run.Write("\n\n\n");
      run.CloseInput();
      int status = run.Wait();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.out();
      EXPECT_EQ(ListDir(theirs), std::vector<std::string>{"data"});
      EXPECT_EQ(ReadFile(theirs + "/data"), "theirs\n");
      EXPECT_EQ(Exists(home + "/app.old/data"), std::string(option) == "-load");
    }
  }
}

TEST(Confinement, RemovalNeverFollowsAParentSwappedForALink) {
  HostileMedium m;
  std::string theirs = m.root() + "/theirs";
  MakeDirs(theirs + "/big");
  WriteFile(theirs + "/x", "theirs\n");
  // Deterministic: d already links outside when the removal starts.
  Link(theirs, m.inst() + "/d");
  m.Toc(Toc(Directory("d/big") + File("d/x")));
  RunResult r = m.Run("-remove", m.cdrom() + "\n\n\nyes\n\n");
  EXPECT_NE(r.out.find("Warning: Directory delete error, Directory: d/big\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Warning: Unable to delete file: d/x\n"), std::string::npos) << r.out;
  EXPECT_TRUE(Exists(theirs + "/x") && Exists(theirs + "/big"));

  if (!RunningAsRoot()) GTEST_SKIP() << "the race needs root to act as another user";
  // The race: the other user owns the installation directory and swaps d
  // and a link to its own directory as fast as it can while every entry is
  // removed. Without the kernel's confinement, root refuses the directory.
  OpenToOtherUser(m);
  ASSERT_EQ(unlink((m.inst() + "/d").c_str()), 0);
  std::string toc;
  for (int i = 0; i < 300; ++i) {
    WriteFile(theirs + "/x" + std::to_string(i), "theirs\n");
    toc += File("d/x" + std::to_string(i));
  }
  m.Toc(Toc(toc));
  ASSERT_EQ(chown(theirs.c_str(), kOtherUser, kOtherUser), 0);
  ASSERT_EQ(chown(m.inst().c_str(), kOtherUser, kOtherUser), 0);
  for (const std::string& mode : kModes) {
    SCOPED_TRACE(Traced(mode));
    std::string d = m.inst() + "/d", link = m.inst() + "/dl";
    for (int round = 0; round < 3; ++round) {
      std::filesystem::remove_all(d);
      std::filesystem::remove_all(link);
      MakeDirs(d);
      for (int i = 0; i < 300; ++i) WriteFile(d + "/x" + std::to_string(i), "ours\n");
      ASSERT_EQ(chown(d.c_str(), kOtherUser, kOtherUser), 0);
      Link(theirs, link);
      std::string stop = m.root() + "/stop";
      pid_t swapper = StartAsOtherUser([&] {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!Exists(stop) && std::chrono::steady_clock::now() < end) {
          renameat2(AT_FDCWD, d.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
        }
        return 0;
      });
      RunResult race = m.Run("-remove", m.cdrom() + "\n\n\nyes\n\n", Confine(mode));
      WriteFile(stop, "");
      waitpid(swapper, nullptr, 0);
      std::filesystem::remove(stop);
      EXPECT_EQ(race.status, 0);
      if (!PrivateRoot(mode)) {
        EXPECT_NE(race.err.find(m.inst() + ": not changed: another user can write to this "
                                           "directory"),
                  std::string::npos)
            << race.err;
      }
      EXPECT_EQ(ListDir(theirs).size(), 302u) << "round " << round;
    }
  }
}

TEST(Confinement, ALinkPlantedWhileTarRunsLeadsNowhere) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  for (const std::string& mode : kModes) {
    SCOPED_TRACE(Traced(mode));
    HostileMedium m;
    OpenToOtherUser(m);
    std::string theirs = TheirDirectory(m);
    // A directory of root's, with a private directory in it.
    std::string mine = m.root() + "/mine";
    MakeDirs(mine + "/private");
    ASSERT_EQ(chmod((mine + "/private").c_str(), 0700), 0);
    ASSERT_EQ(chown(m.inst().c_str(), kOtherUser, kOtherUser), 0);
    m.Stage("d/f", "ours\n");
    m.Stage("e/private/g", "ours\n");
    ASSERT_EQ(chmod((m.staging() + "/e/private").c_str(), 0755), 0);
    MakeTarArchive(m.cdrom() + "/01tar.z", m.staging(), {"d/f", "e/private/"}, true);
    // Archive 02 tells that the medium is compressed.
    MakeTarArchive(m.cdrom() + "/02tar.z", m.staging(), {"d/f"}, true);
    m.Toc(Toc(File("d/f") + Directory("e/private")));
    HeldExtraction held(m, mode);
    LiveRun run({"-load"}, held.options);
    run.Write(AcceptAll(m.cdrom()));
    run.CloseInput();
    if (held.WaitUntilExtracting(run)) {
      // d leads to the other user's directory, e to root's.
      EXPECT_EQ(AsOtherUser([&] {
                  return symlink(theirs.c_str(), (m.inst() + "/d").c_str()) == 0 &&
                                 symlink(mine.c_str(), (m.inst() + "/e").c_str()) == 0
                             ? 0
                             : 1;
                }),
                0);
      held.Go();
    }
    int status = run.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << run.out();
    EXPECT_NE(run.out().find(kLoadFailed), std::string::npos) << run.out();
    // In a private root the links lead nowhere and tar fails; otherwise
    // root refuses the directory before tar runs.
    EXPECT_EQ(held.Extracted(), PrivateRoot(mode));
    if (!PrivateRoot(mode)) {
      EXPECT_NE(run.out().find(m.inst() + ": not extracted: another user can write"),
                std::string::npos)
          << run.out();
    }
    EXPECT_EQ(ListDir(theirs), std::vector<std::string>{"data"});
    struct stat st;
    ASSERT_EQ(stat((mine + "/private").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(ListDir(mine + "/private").empty());
  }
}

// The medium's directory belongs to the other user, who changes the archive
// after tar has listed it and before tar extracts it.
TEST(Confinement, AnArchiveChangedAfterItsListingChangesNothing) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  enum Change { kRenamedOver, kRewritten };
  for (const std::string& mode : kModes) {
    for (Change change : {kRenamedOver, kRewritten}) {
      SCOPED_TRACE(std::to_string(change) + " " + Traced(mode));
      HostileMedium m;
      OpenToOtherUser(m);
      ASSERT_EQ(chown(m.cdrom().c_str(), kOtherUser, kOtherUser), 0);
      m.Stage("d/f", "ours\n");
      std::string archive = m.cdrom() + "/01tar.z", evil = m.cdrom() + "/evil";
      MakeTarArchive(archive, m.staging(), {"d/f"}, true);
      MakeTarArchive(m.cdrom() + "/02tar.z", m.staging(), {"d/f"}, true);
      // Every member is chosen: tar is asked for the whole archive, and
      // would extract whatever it then holds.
      std::string links = m.root() + "/links", payload = m.root() + "/payload";
      Link("..", links + "/d");
      MakeDirs(payload + "/d/outside");
      WriteFile(payload + "/d/outside/evil", "evil\n");
      MakeTarArchive(m.root() + "/evil.tar", links, {"d"});
      Append(m.root() + "/evil.tar", payload, "d/outside/evil");
      WriteFile(evil, Gzipped(ReadFile(m.root() + "/evil.tar")));
      ASSERT_EQ(chown(evil.c_str(), kOtherUser, kOtherUser), 0);
      if (change == kRewritten) {
        ASSERT_EQ(chown(archive.c_str(), kOtherUser, kOtherUser), 0);
      }
      m.Toc(Toc(File("d/f")));
      HeldExtraction held(m, mode);
      LiveRun run({"-load"}, held.options);
      run.Write(AcceptAll(m.cdrom()));
      run.CloseInput();
      if (held.WaitUntilExtracting(run)) {
        EXPECT_EQ(AsOtherUser([&] {
                    if (change == kRenamedOver) return rename(evil.c_str(), archive.c_str());
                    std::string bytes = ReadFile(evil);
                    FILE* out = fopen(archive.c_str(), "r+");
                    if (!out) return 1;
                    size_t written = fwrite(bytes.data(), 1, bytes.size(), out);
                    return fclose(out) == 0 && written == bytes.size() ? 0 : 1;
                  }),
                  0);
        held.Go();
      }
      int status = run.Wait();
      if (change == kRenamedOver) {
        // tar extracts from the descriptor it listed: what was judged.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.out();
        EXPECT_EQ(ReadFile(m.inst() + "/d/f"), "ours\n");
      } else {
        // Without a private root the archive is refused before it is
        // listed; in one, what the rewritten archive makes leads nowhere.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << run.out();
        EXPECT_EQ(held.Extracted(), PrivateRoot(mode));
        if (!PrivateRoot(mode)) {
          EXPECT_NE(run.out().find(archive + ": not extracted: another user can change this "
                                             "archive"),
                    std::string::npos)
              << run.out();
        }
      }
      EXPECT_EQ(m.OutsideTree(), std::vector<std::string>{"marker"});
    }
  }
}

TEST(Confinement, MembersLoseTheirOwnerAndNeverBecomeDevices) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to make such members";
  enum Member { kOwned, kSetUid, kSetUidAfterNul, kFifo, kDevice };
  for (const std::string& mode : kModes) {
    for (Member kind : {kOwned, kSetUid, kSetUidAfterNul, kFifo, kDevice}) {
      SCOPED_TRACE(std::to_string(kind) + " " + Traced(mode));
      HostileMedium m;
      std::string member = m.staging() + "/member";
      MakeDirs(m.staging());
      switch (kind) {
        case kOwned:
          WriteFile(member, "x\n");
          ASSERT_EQ(chown(member.c_str(), kOtherUser, kOtherUser), 0);
          break;
        case kSetUid:
        case kSetUidAfterNul:
          WriteFile(member, "x\n");
          ASSERT_EQ(chmod(member.c_str(), 04755), 0);
          break;
        case kFifo:
          ASSERT_EQ(mkfifo(member.c_str(), 0666), 0);
          break;
        case kDevice:
          ASSERT_EQ(mknod(member.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
          break;
      }
      m.Archive("01", {"member"});
      // tar reads the mode after a leading NUL; a reader that stops at the
      // NUL sees none.
      if (kind == kSetUidAfterNul) {
        PatchHeader(m.cdrom() + "/01.tar", 0, 100,
                    std::string("\0"
                                "004755\0",
                                8));
      }
      m.Toc(Toc(File("member")));
      RunResult r = m.Run("-load", AcceptAll(m.cdrom()), Confine(mode));
      struct stat st;
      if (kind == kOwned || kind == kSetUid || kind == kSetUidAfterNul) {
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        ASSERT_EQ(lstat((m.inst() + "/member").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(r.err, kind == kOwned ? "" : "set-user-ID: member\n");
      } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "member: not extracted: it is a device, a FIFO or a socket\n");
        EXPECT_FALSE(Exists(m.inst() + "/member"));
      }
    }
  }
}

TEST(Confinement, RemovalStopsAtAnotherFileSystem) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to mount";
  HostileMedium m;
  std::string elsewhere = m.root() + "/elsewhere", mounted = m.inst() + "/mnt";
  MakeDirs(elsewhere);
  WriteFile(elsewhere + "/keep", "keep\n");
  MakeDirs(mounted);
  if (mount("tmpfs", mounted.c_str(), "tmpfs", 0, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here";
  }
  WriteFile(mounted + "/keep", "keep\n");
  m.Toc(Toc(Directory("mnt")));
  RunResult r = m.Run("-remove", m.cdrom() + "\n\n\nyes\n\n");
  bool kept = Exists(mounted + "/keep");
  umount(mounted.c_str());
  EXPECT_NE(r.out.find("Warning: Directory delete error, Directory: mnt\n"), std::string::npos)
      << r.out;
  EXPECT_TRUE(kept);
}

TEST(Confinement, RemovalNeverEntersABindMount) {
  // A bind mount from the same file system has the same device number:
  // neither the installer's device check nor rm's --one-file-system sees
  // it. Listed as a directory, held by a listed directory further down, or
  // on the way to a listed file, the mounted tree stays whole.
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to mount";
  for (const std::string& mode : kModes) {
    SCOPED_TRACE(Traced(mode));
    HostileMedium m;
    std::string elsewhere = m.root() + "/elsewhere";
    MakeDirs(elsewhere);
    WriteFile(elsewhere + "/keep", "keep\n");
    std::vector<std::string> mounts = {m.inst() + "/mnt", m.inst() + "/top/sub/mnt",
                                       m.inst() + "/way/mnt"};
    bool mounted = true;
    for (const std::string& at : mounts) {
      MakeDirs(at);
      mounted = mounted && mount(elsewhere.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    WriteFile(m.inst() + "/top/own", "own\n");
    MakeDirs(m.inst() + "/plain");
    WriteFile(m.inst() + "/plain/own", "own\n");
    m.Toc(Toc(Directory("mnt") + Directory("top") + File("way/mnt/keep") + Directory("plain")));
    RunResult r;
    if (mounted) r = m.Run("-remove", m.cdrom() + "\n\n\nyes\n\n", Confine(mode));
    bool kept = Exists(elsewhere + "/keep") && Exists(m.inst() + "/top/own");
    for (const std::string& at : mounts) umount2(at.c_str(), MNT_DETACH);
    if (!mounted) GTEST_SKIP() << "cannot bind mount here";
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* line : {"Warning: Directory delete error, Directory: mnt\n",
                             "Warning: Directory delete error, Directory: top\n",
                             "Warning: Unable to delete file: way/mnt/keep\n"}) {
      EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    }
    EXPECT_TRUE(kept);
    EXPECT_EQ(ReadFile(elsewhere + "/keep"), "keep\n");
    EXPECT_FALSE(Exists(m.inst() + "/plain"));
  }
}
