// Attacks on a load or a removal run as root: a hostile medium alone, and
// another user ("nobody") changing the tree while the installer works. Each
// runs in the three confinements of tar and rm: the strongest the kernel
// allows (a private root with Landlock inside), Landlock alone
// (ZULCONFINE=landlock) and none (ZULCONFINE=off); nothing outside the
// installation directory may change in any.
#include <gtest/gtest.h>
#include <sched.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/prctl.h>
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

// A gunzip first in PATH that waits, each time it starts, until the test
// lets it go on: every listing goes on, the first extraction is held, the
// moment another user acts. Confined, the gunzip can neither write nor see
// a process; the test tells a listing from an extraction by the locale the
// installer gives it (a listing's is C) and by the tar reading its pipe.
class HeldExtraction {
 public:
  HeldExtraction(const HostileMedium& m, const std::string& mode) : bin_(m.root() + "/bin") {
    options = m.Options();
    options.env = Confine(mode);
    // It gives up after 20 s, so that a failed test leaves nothing behind.
    options.env["PATH"] =
        m.PathWithGunzip("i=0; while [ ! -e " + bin_ + "/go-$$ ] && [ ! -e " + bin_ +
                         "/go ] && [ $((i += 1)) -lt 1000 ]; do sleep "
                         "0.02; done\nexec gzip -dc\n");
  }

  // True once tar extracts; false when the run ended first.
  bool WaitUntilExtracting(LiveRun& run) {
    for (int i = 0; i < 1000 && !run.WaitFor("Exiting...", 10); ++i) {
      for (pid_t child : ChildrenOf(run.pid())) {
        if (CommandLine(child).find(bin_ + "/gunzip") == std::string::npos) continue;
        if (Listing(child)) {
          WriteFile(bin_ + "/go-" + std::to_string(child), "");
        } else if (!ReaderOf(run.pid(), child).empty()) {
          return extracted_ = true;
        }
      }
    }
    return false;
  }
  bool Extracted() const { return extracted_; }
  void Go() { WriteFile(bin_ + "/go", ""); }

  RunOptions options;

 private:
  static std::string CommandLine(pid_t pid) {
    return Exists("/proc/" + std::to_string(pid) + "/cmdline")
               ? ReadFile("/proc/" + std::to_string(pid) + "/cmdline")
               : "";
  }
  static bool Listing(pid_t pid) {
    std::string environment = "/proc/" + std::to_string(pid) + "/environ";
    return Exists(environment) &&
           ReadFile(environment).find(std::string("\0LC_ALL=C\0", 10)) != std::string::npos;
  }
  static std::string Descriptor(pid_t pid, int fd) {
    std::error_code error;
    return std::filesystem::read_symlink(
               "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), error)
        .string();
  }
  // The command line of the child of `parent` that reads what `writer`
  // writes.
  static std::string ReaderOf(pid_t parent, pid_t writer) {
    std::string pipe = Descriptor(writer, 1);
    for (pid_t child : ChildrenOf(parent)) {
      if (child != writer && !pipe.empty() && Descriptor(child, 0) == pipe) {
        return CommandLine(child);
      }
    }
    return "";
  }

  std::string bin_;
  bool extracted_ = false;
};

// Lets the other user reach the test's directories.
void OpenToOtherUser(const HostileMedium& m) { ASSERT_EQ(chmod(m.root().c_str(), 0755), 0); }

// The options of a run as the other user, who owns the installation
// directory and root/tmp.
RunOptions AsThem(const HostileMedium& m, const std::string& mode) {
  OpenToOtherUser(m);
  EXPECT_EQ(chmod(m.tmp().c_str(), 0755), 0);
  EXPECT_EQ(chown(m.tmp().c_str(), kOtherUser, kOtherUser), 0);
  EXPECT_EQ(chown(m.inst().c_str(), kOtherUser, kOtherUser), 0);
  RunOptions options = m.Options();
  options.env = Confine(mode);
  options.as_other_user = true;
  return options;
}

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
    kLinkWithData,
    kSparseMapReadsTwice,
    kSparseAfterLongName
  };
  for (const std::string& mode : kModes) {
    for (Trick trick :
         {kSizeWithLeadingNul, kGlobalHeader, kLongLinkAndPax, kOldGzipMagic, kHardLinkToLink,
          kHardLinkOnDisk, kLinkWithData, kSparseMapReadsTwice, kSparseAfterLongName}) {
      SCOPED_TRACE(std::to_string(trick) + " " + Traced(mode));
      HostileMedium m;
      bool sparse = trick == kSparseMapReadsTwice || trick == kSparseAfterLongName;
      bool gzip = trick == kOldGzipMagic || sparse;
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
        case kSparseMapReadsTwice:
        case kSparseAfterLongName: {
          // "y" stores one block, but its map reads it twice: extraction
          // takes "f"'s header as data and "f"'s data, the header of
          // "up -> ..", as the next member. tar lists "y" and "f" (after a
          // member with a long name, whose header lies between).
          Link("..", a + "/up");
          MakeTarArchive(scratch, a, {"up"});
          WriteFile(a + "/f", ReadFile(scratch).substr(0, 512));
          WriteFile(a + "/y", std::string(512, 'y'));
          std::vector<std::string> members = {"y", "f"};
          if (trick == kSparseAfterLongName) {
            members.insert(members.begin(), std::string(120, 'n'));
            WriteFile(a + "/" + members[0], "n");
          }
          MakeTarArchive(scratch, a, members);
          for (auto [field, value] : {std::pair<size_t, std::string>{156, "S"},
                                      {398, "00000001000"},
                                      {410, "00000000000"},
                                      {422, "00000001000"},
                                      {483, "00000001000"}}) {
            PatchHeader(scratch, members.size() == 3 ? 2048 : 0, field, value);
          }
          WriteFile(first, Gzipped(ReadFile(scratch)));
          break;
        }
      }
      MakeDirs(b + "/up/outside");
      WriteFile(b + "/up/outside/evil", "evil\n");
      ASSERT_EQ(chmod((b + "/up/outside").c_str(), 0777), 0);
      MakeTarArchive(second, b, {"up/outside/", "up/outside/evil"}, gzip);
      std::string chosen = trick == kHardLinkToLink ? File("l") + File("up")
                           : trick == kLinkWithData ? File("l")
                           : sparse                 ? File("y") + File("f")
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
          : trick == kSparseMapReadsTwice
              ? "y: not extracted: the archive holds it as a sparse file"
          : trick == kSparseAfterLongName
              ? "01tar.z: not extracted: tar finds other members in it when extracting than when "
                "listing"
              : ": not extracted: it leads outside the installation directory";
      EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
      if (trick == kLinkWithData || sparse) {
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

// A directory that was there keeps its mode and owner; a directory member
// sets the time of its directory, of that one too, so two batches that
// give one directory never run side by side: the later one's time stays,
// as one after another. The first archive's gunzip is slow.
TEST(Confinement, ADirectoryThatWasThereKeepsModeAndOwnerAndTakesTheLastTime) {
  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(jobs);
    HostileMedium m;
    for (int n : {1, 2}) {
      std::string number = std::to_string(n), tree = m.root() + "/tree" + number;
      MakeDirs(tree + "/conf");
      WriteFile(tree + "/conf/f" + number, number);
      struct timespec times[2] = {{n * 1000, 0}, {n * 1000, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, (tree + "/conf").c_str(), times, 0), 0);
      MakeTarArchive(m.cdrom() + "/0" + number + "tar.z", tree, {"conf"}, true);
    }
    m.Toc(Toc(Directory("conf") + Directory("conf", "02")));
    std::string conf = m.inst() + "/conf";
    MakeDirs(conf);
    ASSERT_EQ(chmod(conf.c_str(), 0700), 0);
    uid_t owner = RunningAsRoot() ? kOtherUser : getuid();
    ASSERT_EQ(chown(conf.c_str(), owner, static_cast<gid_t>(-1)), 0);
    RunOptions options = m.Options();
    options.env = {{"ZULJOBS", jobs},
                   {"PATH", m.PathWithGunzip("case \"$(readlink /proc/$$/fd/0)\" in *01tar.z) "
                                             "sleep 1;; esac\nexec gzip -dc\n")}};
    options.input = AcceptAll(m.cdrom());
    RunResult r = RunInstall({"-load"}, options);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(ReadFile(conf + "/f1") + ReadFile(conf + "/f2"), "12");
    struct stat st;
    ASSERT_EQ(stat(conf.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, owner);
    EXPECT_EQ(st.st_mtim.tv_sec, 2000);
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
    m.Stage("share/doc/intro", "intro\n");
    Link("share/doc", m.staging() + "/docs");
    m.Archive("01", {"share", "docs"});
    m.Toc(Toc(Directory("share") + File("docs")));
    std::string program = m.InstallerForOtherUser();
    RunOptions options = AsThem(m, mode);
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

    // An archive of a third user's, who could rewrite it while tar reads
    // it, is refused without a private root, for this user too.
    ASSERT_EQ(chown((m.cdrom() + "/01.tar").c_str(), 1, 1), 0);
    m.Toc(Toc(Directory("share") + File("docs")));
    options.input = AcceptAll(m.cdrom());
    load = RunBinary(program, {"-load"}, options);
    EXPECT_EQ(load.status, PrivateRoot(mode) ? 0 : 1) << load.out << load.err;
    EXPECT_EQ(load.err.find("01.tar: not extracted: another user can change this archive") ==
                  std::string::npos,
              PrivateRoot(mode))
        << load.err;
  }
}

// Where the kernel refuses the user's namespace that a private root needs,
// the run goes on with Landlock alone and says so once.
TEST(Confinement, ALostPrivateRootIsSaid) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  HostileMedium m;
  AsThem(m, "");
  m.Stage("data", "data\n");
  m.Archive("01", {"data"});
  m.Toc(Toc(File("data")));
  std::string program = m.InstallerForOtherUser(), answers = m.tmp() + "/answers";
  WriteFile(answers, AcceptAll(m.cdrom()));
  int status = AsOtherUser([&] {
    // A user namespace of the test's own, in which no further one may be
    // made; the installer runs in it as the other user.
    auto write = [](const char* file, const std::string& text) {
      FILE* out = fopen(file, "w");
      return out && fputs(text.c_str(), out) >= 0 && fclose(out) == 0;
    };
    std::string id = std::to_string(kOtherUser) + " " + std::to_string(kOtherUser) + " 1";
    // Having given up root, the process's own files in /proc are root's
    // until it is dumpable again.
    if (prctl(PR_SET_DUMPABLE, 1) != 0 || unshare(CLONE_NEWUSER) != 0 ||
        !write("/proc/self/uid_map", id) || !write("/proc/self/setgroups", "deny") ||
        !write("/proc/self/gid_map", id) || !write("/proc/sys/user/max_user_namespaces", "0")) {
      return 99;
    }
    std::string run = "cd " + m.inst() + " && TMPDIR=" + m.tmp() + " " + program + " -load < " +
                      answers + " > " + m.tmp() + "/out 2> " + m.tmp() + "/err";
    execl("/bin/sh", "sh", "-c", run.c_str(), nullptr);
    return 98;
  });
  EXPECT_EQ(status, 0) << ReadFile(m.tmp() + "/out");
  EXPECT_EQ(ReadFile(m.tmp() + "/err"),
            "tar and rm run without a private root (the kernel refuses a private mount "
            "namespace): Landlock alone confines them\n");
  EXPECT_EQ(ReadFile(m.inst() + "/data"), "data\n");
}

// Programs are the installer's choice: a medium that unpacks its own gunzip
// into a folder on PATH, or holds data for which tar would start a
// decompressor of its own, never has them run.
TEST(Confinement, NoProgramComesFromTheMedium) {
  for (const std::string& mode : kModes) {
    for (bool plain_name : {false, true}) {
      SCOPED_TRACE(std::string(plain_name ? "gzip data, plain name " : "gunzip on PATH ") +
                   Traced(mode));
      HostileMedium m;
      std::string evil = m.outside() + "/evil";
      m.Stage("bin/gunzip", "#!/bin/sh\necho evil > " + evil + "\nexec gzip -d \"$@\"\n");
      m.Stage("bin/gzip", "#!/bin/sh\necho evil > " + evil + "\nexec /bin/gzip \"$@\"\n");
      ASSERT_EQ(chmod((m.staging() + "/bin/gunzip").c_str(), 0755), 0);
      ASSERT_EQ(chmod((m.staging() + "/bin/gzip").c_str(), 0755), 0);
      m.Stage("data", "data\n");
      std::string first = m.cdrom() + (plain_name ? "/01.tar" : "/01tar.z");
      MakeTarArchive(first, m.staging(), {"bin"}, true);
      MakeTarArchive(m.cdrom() + (plain_name ? "/02.tar" : "/02tar.z"), m.staging(), {"data"},
                     !plain_name);
      m.Toc(Toc(Directory("bin") + File("data", "02")));
      Env env = Confine(mode);
      env["PATH"] = m.inst() + "/bin:" + std::string(getenv("PATH"));
      RunResult r = m.Run("-load", AcceptAll(m.cdrom()), env);
      EXPECT_EQ(r.status, plain_name ? 1 : 0) << r.out << r.err;
      EXPECT_EQ(Exists(m.inst() + "/data"), !plain_name);
      if (plain_name) {
        EXPECT_EQ(r.err, first +
                             ": not extracted: its name says a plain tar archive, but it holds "
                             "gzip data\n");
      }
      EXPECT_EQ(m.OutsideTree(), std::vector<std::string>{"marker"});
    }
  }
}

// The installation directory lies below a directory of another user's: an
// absolute link into it is followed through the held directory in a
// private root, and refused without one (that user could rename it away
// while tar follows the path).
TEST(Confinement, AnAbsoluteLinkGoesThroughTheHeldDirectoryOnly) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  for (const std::string& mode : kModes) {
    SCOPED_TRACE(Traced(mode));
    HostileMedium m;
    std::string home = m.root() + "/home", app = home + "/app";
    MakeDirs(app);
    ASSERT_EQ(chown(home.c_str(), kOtherUser, kOtherUser), 0);
    std::string links = m.root() + "/links", payload = m.root() + "/payload";
    MakeDirs(links + "/v1");
    Link(app + "/v1", links + "/cur");
    MakeDirs(payload + "/cur/bin");
    WriteFile(payload + "/cur/bin/tool", "tool\n");
    // tar makes an absolute link only at the end of its run: the file
    // comes in the next archive.
    MakeTarArchive(m.cdrom() + "/01.tar", links, {"v1", "cur"});
    MakeTarArchive(m.cdrom() + "/02.tar", payload, {"cur/bin/tool"});
    m.Toc(Toc(Directory("v1") + File("cur") + File("cur/bin/tool", "02")));
    RunResult r = m.Run("-load", m.cdrom() + "\n" + app + "\n\n\n\n", Confine(mode));
    EXPECT_EQ(r.status, PrivateRoot(mode) ? 0 : 1) << r.out << r.err;
    EXPECT_EQ(Exists(app + "/v1/bin/tool"), PrivateRoot(mode));
    if (!PrivateRoot(mode)) {
      EXPECT_NE(r.err.find("cur: not extracted: an absolute link leads through the installation "
                           "directory's path, which another user can change"),
                std::string::npos)
          << r.err;
    }
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
      // Nothing is written by a path that no longer names the directory
      // chosen, and the run says so.
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << run.out();
      EXPECT_NE(run.out().find(app + ": "), std::string::npos) << run.out();
      EXPECT_EQ(ListDir(theirs), std::vector<std::string>{"data"});
      EXPECT_EQ(ReadFile(theirs + "/data"), "theirs\n");
      EXPECT_EQ(Exists(home + "/app.old/data"), std::string(option) == "-remove");
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

// The receipt is made and renamed in its directory, opened once at the
// start, and only where no user but root and the one running can have
// chosen what the path names or can rename what is made there. Elsewhere
// the run ends before the first question, naming where, and nothing is
// written or loaded.
TEST(Confinement, AReceiptGoesOnlyWhereNoOtherUserDecides) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  // Below root/: home is theirs, sticky is sticky and writable by all, open
  // is writable by all, ours is root's and holds app.toc, link -> ours is
  // root's; `their_link` -> ours is made by them. `where` is the place
  // refused; "" when the receipt is written.
  struct Case {
    const char* receipt;
    const char* their_link;
    const char* where;
    bool as_them;
  };
  const Case cases[] = {
      {"home/app/app.toc", "home/app", "home", false},  // their directory, now a link to ours
      {"home/app.toc", "", "home", false},
      {"open/app.toc", "", "open", false},
      {"sticky/app/app.toc", "sticky/app", "sticky/app", false},
      {"sticky/app.toc", "", "", false},
      {"link/app.toc", "", "", false},
      {"home/app.toc", "", "", true},
      {"open/app.toc", "", "open", true},
  };
  for (const std::string& mode : kModes) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.receipt) + (c.as_them ? " as them " : " ") + Traced(mode));
      HostileMedium m;
      m.Stage("data", "data\n");
      m.Archive("01", {"data"});
      m.Toc(Toc(File("data")));
      RunOptions options = c.as_them ? AsThem(m, mode) : m.Options();
      OpenToOtherUser(m);
      if (!c.as_them) options.env = Confine(mode);
      std::string at = m.root() + "/", ours = at + "ours";
      for (const char* dir : {"ours", "home", "sticky", "open"}) MakeDirs(at + dir);
      WriteFile(ours + "/app.toc", "root's\n");
      Link(ours, at + "link");
      ASSERT_EQ(chown((at + "home").c_str(), kOtherUser, kOtherUser), 0);
      ASSERT_EQ(chmod((at + "sticky").c_str(), 01777), 0);
      ASSERT_EQ(chmod((at + "open").c_str(), 0777), 0);
      std::string their_link = at + c.their_link;
      if (*c.their_link) {
        ASSERT_EQ(AsOtherUser([&] { return symlink(ours.c_str(), their_link.c_str()) ? 1 : 0; }),
                  0);
      }
      std::string receipt = at + c.receipt;
      options.env["ZULRECEIPT"] = receipt;
      options.input = AcceptAll(m.cdrom());
      RunResult r = c.as_them ? RunBinary(m.InstallerForOtherUser(), {"-load"}, options)
                              : RunInstall({"-load"}, options);
      if (*c.where) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "install: receipt " + receipt + " not written: " + at + c.where +
                             ": another user can change it\n");
        EXPECT_TRUE(ListDir(m.inst()).empty());
        EXPECT_EQ(ReadFile(ours + "/app.toc"), "root's\n");
        EXPECT_TRUE(ListDir(at + "open").empty());
      } else {
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(ReadFile(m.inst() + "/data"), "data\n");
        EXPECT_NE(ReadFile(receipt).find("data\n"), std::string::npos);
        struct stat st;
        ASSERT_EQ(stat(receipt.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, c.as_them ? kOtherUser : 0u);
        EXPECT_EQ(st.st_mode & 07777, 0644u);
      }
      EXPECT_TRUE(ListDir(m.tmp()).empty());
    }
  }
}

// A receipt drives a removal and a verification without the medium: one
// that another user owns or can write to, or whose directory they can
// rename things in, was extended by them with a line naming a directory of
// the operator's. It is not used: a line names it, a strict run ends with
// status 1, and nothing is removed.
TEST(Confinement, AReceiptAnotherUserCanChangeIsNotUsed) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  enum Form { kTheirs, kWritableByGroup, kInTheirDirectory, kOurs, kTheirsAsThem, kAThirdUsers };
  for (const std::string& mode : kModes) {
    for (Form form :
         {kTheirs, kWritableByGroup, kInTheirDirectory, kOurs, kTheirsAsThem, kAThirdUsers}) {
      for (const char* option : {"-remove", "-verify"}) {
        SCOPED_TRACE(std::to_string(form) + " " + option + " " + Traced(mode));
        HostileMedium m;
        bool as_them = form == kTheirsAsThem || form == kAThirdUsers;
        RunOptions options = as_them ? AsThem(m, mode) : m.Options();
        if (!as_them) {
          OpenToOtherUser(m);
          options.env = Confine(mode);
        }
        std::string dir = m.root() + "/receipts";
        MakeDirs(dir);
        uid_t dir_owner = form == kInTheirDirectory ? kOtherUser : 0;
        ASSERT_EQ(chown(dir.c_str(), dir_owner, dir_owner), 0);
        std::string receipt = dir + "/app.toc";
        WriteFile(receipt, Toc(File("data") + Directory("keep")));
        WriteFile(m.inst() + "/data", "data\n");
        MakeDirs(m.inst() + "/keep");
        WriteFile(m.inst() + "/keep/file", "the operator's\n");
        for (const char* name : {"data", "keep", "keep/file"}) {
          uid_t operator_uid = as_them ? kOtherUser : 0;
          ASSERT_EQ(chown((m.inst() + "/" + name).c_str(), operator_uid, operator_uid), 0);
        }
        uid_t owner = form == kTheirs || form == kTheirsAsThem ? kOtherUser
                      : form == kAThirdUsers                   ? kOtherUser - 1
                                                               : 0;
        ASSERT_EQ(chown(receipt.c_str(), owner, form == kWritableByGroup ? kOtherUser : 0), 0);
        ASSERT_EQ(chmod(receipt.c_str(), form == kWritableByGroup ? 0664 : 0644), 0);
        std::string where = form == kInTheirDirectory ? dir : receipt;
        bool refused = form != kOurs && form != kTheirsAsThem;

        options.env["ZULSTRICT"] = "1";
        options.input = m.root() + "\n\n\n" + (std::string(option) == "-remove" ? "yes\n\n" : "\n");
        RunResult r = as_them ? RunBinary(m.InstallerForOtherUser(), {option, receipt}, options)
                              : RunInstall({option, receipt}, options);
        if (refused) {
          EXPECT_EQ(r.status, 1) << r.out;
          EXPECT_EQ(r.err, "install: table of contents " + receipt + " not used: " + where +
                               ": another user can change it\n");
          EXPECT_EQ(r.out.find("Number of missing"), std::string::npos) << r.out;
          EXPECT_EQ(ReadFile(m.inst() + "/keep/file"), "the operator's\n");
          EXPECT_TRUE(Exists(m.inst() + "/data"));
        } else {
          EXPECT_EQ(r.status, 0) << r.out << r.err;
          EXPECT_EQ(Exists(m.inst() + "/keep/file"), std::string(option) == "-verify") << r.out;
        }
        EXPECT_TRUE(ListDir(m.tmp()).empty());
      }
    }
  }
}
