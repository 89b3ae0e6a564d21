#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "common/entrypath.hpp"
#include "loading/archivelisting.hpp"
#include "loading/archivemembers.hpp"
#include "loading/footprint.hpp"
#include "loading/landing.hpp"
#include "loading/memberindex.hpp"
#include "loading/runctar.hpp"
#include "loading/tarbatch.hpp"
#include "loading/tarrequest.hpp"
#include "operations/calculatesize.hpp"
#include "operations/kbavailable.hpp"
#include "support/archives.hpp"
#include "support/process.hpp"
#include "support/texts.hpp"
#include "system/sandbox.hpp"
#include "system/workingfiles.hpp"
#include "unit/operations/fixture.hpp"

namespace {

const std::string kFailed = kLoadFailed + kExit;

std::string Line(const std::string& archive, const std::string& path) {
  return TocEntry(1, 'F', '*', "file", archive, 10, path);
}

class Loading : public OperationsTest {
 protected:
  // Files of the source tree, each holding its own name plus `mark`.
  void Source(const std::vector<std::string>& files, const std::string& mark = "") {
    for (const std::string& file : files) {
      std::string path = dir_ / "src/" + file;
      MakeDirs(std::filesystem::path(path).parent_path());
      WriteFile(path, file + mark);
    }
  }
  Outcome Load(int variant, ListFiles list_files = ListFiles::kNo,
               const ReceiptPlace& receipt = {}) {
    HeldTarget target(inst_);
    // The receipt's table of contents: a header and the chosen lines.
    std::string toc = dir_ / "receipt-source.toc";
    WriteFile(toc, "Heading\n" + ReadFile(PAK));
    return RunUnit([&] {
      RunTAR(dist_, toc, PAK, variant, list_files, *target, ReadSettings(), {}, receipt);
    });
  }
  std::string src_ = dir_ / "src";
};

TEST_F(Loading, OneBatchGivesEveryEntryInOrderToOneTar) {
  Source({"a/x", "b", "-v", "x;touch${IFS}PWNED"});
  MakeTarArchive(dist_ + "/01.tar", src_, {"a", "b", "-v", "x;touch${IFS}PWNED"});
  // "a/x" lies below "a" and "b" repeats: tar would fail on either, so
  // they are not given again.
  WritePak({Line("01", "b"), Line("01", "-v"), Line("01", "a"), Line("01", "a/x"),
            Line("01", "x;touch${IFS}PWNED   "), Line("01", "b")});
  Outcome loaded = Load(0, ListFiles::kYes);
  EXPECT_EQ(loaded.status, -1);
  EXPECT_EQ(ReadFile(ScratchFile("LST")), std::string("b\0-v\0a\0x;touch${IFS}PWNED\0", 26));
  EXPECT_EQ(loaded.out, "\na/\na/x\nb\n-v\nx;touch${IFS}PWNED\n\nFinished loading package(s)\n");
  EXPECT_EQ(ReadFile("a/x"), "a/x");
  EXPECT_EQ(ReadFile("x;touch${IFS}PWNED"), "x;touch${IFS}PWNED");
  EXPECT_FALSE(Exists("PWNED"));

  WritePak({});
  EXPECT_EQ(Load(0).out, "\n");
}

TEST_F(Loading, EachRunOfOneArchiveCodeIsItsOwnTarAndAFailureStopsTheRest) {
  Source({"p", "q", "r", "s"});
  MakeTarArchive(dist_ + "/01.tar", src_, {"p", "q"});
  MakeTarArchive(dist_ + "/02.tar", src_, {"r"});
  MakeTarArchive(dist_ + "/03.tar", src_, {"s"});
  // The fourth line's member is not in archive 01: only its own run fails,
  // after the runs before it, and the run after it never starts.
  WritePak({Line("01", "p"), Line("01", "q"), Line("02", "r"), Line("01", "s"), Line("03", "s")});
  // tar works in the held installation directory, not in the installer's,
  // also where no private root names it.
  WorkIn(dir_.path());
  ScopedVariable off("ZULCONFINE", "off");
  Outcome loaded = Load(0);
  EXPECT_EQ(loaded.status, 1);
  EXPECT_EQ(loaded.out, "\n" + kFailed);
  EXPECT_TRUE(Exists(inst_ + "/p") && Exists(inst_ + "/q") && Exists(inst_ + "/r"));
  EXPECT_FALSE(Exists(inst_ + "/s") || Exists("p"));
}

TEST_F(Loading, BatchesSideBySideLeaveWhatOneAfterAnotherLeaves) {
  // Each archive from a tree of its own; "->T" is a link to T, a trailing
  // "*" a file of mode 0750.
  struct Archive {
    std::string code;
    std::vector<std::pair<std::string, std::string>> entries;
    std::vector<std::string> members;  // given to tar
    std::string again = {};            // a file of that name appended after them
  };
  const Archive archives[] = {
      {"01",
       {{"share/a", "a1"}, {"share/b", "b1"}, {"lib/libx", "x1"}, {"bin/tool", "t1*"}},
       {"share", "lib", "bin"}},
      {"02",
       {{"share/c", "c2"}, {"bin/alias", "->tool"}, {"lib/libx", "x2*"}},
       {"share", "bin", "lib"}},
      {"03", {{"cur", "->lib"}, {"data/d", "d3"}}, {"cur", "data"}},
      {"04", {{"cur/extra", "e4"}, {"solo/s", "s4"}}, {"cur/extra", "solo"}},
      {"05", {{"share/a", "a5"}, {"other/o", "o5*"}}, {"share", "other"}},
      // tar makes a link that leads up at its end, over the file after it
      // where that file seems to be its placeholder still (it is at times).
      {"06", {{"up/p", "->../share/c"}}, {"up"}, "up/p"},
  };
  for (const Archive& archive : archives) {
    std::string tree = dir_ / ("tree" + archive.code);
    for (const auto& [path, content] : archive.entries) {
      std::string at = tree + "/" + path;
      MakeDirs(std::filesystem::path(at).parent_path());
      if (content.starts_with("->")) {
        std::filesystem::create_symlink(content.substr(2), at);
      } else {
        WriteFile(at, content.substr(0, content.find('*')));
        chmod(at.c_str(), content.ends_with('*') ? 0750 : 0644);
      }
    }
    MakeTarArchive(dist_ + "/" + archive.code + ".tar", tree, archive.members);
    if (!archive.again.empty()) {
      std::string again = dir_ / ("again/" + archive.again);
      MakeDirs(std::filesystem::path(again).parent_path());
      WriteFile(again, "6");
      EXPECT_EQ(
          RunBinary(
              "/bin/tar",
              {"rf", dist_ + "/" + archive.code + ".tar", "-C", dir_ / "again", archive.again}, {})
              .status,
          0);
    }
  }
  // Shared directories, a link to a file of another archive, files that a
  // later archive writes again, a path through a link another archive
  // makes, and archives read by several runs of lines: 01's and 02's later
  // runs go to their first tar run, but not the last, whose file 05 wrote
  // in between.
  WritePak({Line("01", "share/a"), Line("01", "share/b"), Line("01", "lib"), Line("02", "share/c"),
            Line("02", "bin/alias"), Line("02", "lib/libx"), Line("03", "cur"), Line("03", "data"),
            Line("01", "bin/tool"), Line("04", "cur/extra"), Line("04", "solo"),
            Line("05", "share/a"), Line("05", "other"), Line("01", "share/b"),
            Line("02", "lib/libx"), Line("01", "share/a"), Line("06", "up")});
  std::map<std::string, std::string> one_after_another;
  // Listing the names keeps every batch in its place: one after another.
  for (std::optional<std::string> jobs :
       {std::optional<std::string>("names"), std::optional<std::string>("1"),
        std::optional<std::string>(), std::optional<std::string>("4")}) {
    SCOPED_TRACE(jobs.value_or("unset"));
    bool names = jobs == "names";
    ScopedVariable variable("ZULJOBS", names ? std::nullopt : jobs);
    inst_ = dir_ / ("inst" + jobs.value_or("unset"));
    MakeDirs(inst_);
    WorkIn(inst_);
    // The record of the load: each path once, with what it holds at the
    // end, however many batches wrote it.
    std::string receipt = inst_ + ".toc";
    int receipt_dir = open(dir_.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    Outcome loaded = Load(0, names ? ListFiles::kYes : ListFiles::kNo,
                          {receipt_dir, receipt.substr(receipt.rfind('/') + 1), receipt});
    close(receipt_dir);
    EXPECT_EQ(loaded.status, -1) << loaded.out;
    std::map<std::string, std::string> tree = Snapshot(inst_, true);
    RunOptions here;
    here.cwd = inst_;
    EXPECT_EQ(
        RunBinary("/usr/bin/sha256sum", {"--check", "--quiet", receipt + ".sums"}, here).status, 0);
    std::string sums = ReadFile(receipt + ".sums"), list = ReadFile(receipt + ".list");
    std::string up = tree["up/p"];
    tree.erase("up/p");
    EXPECT_TRUE(up == "L:../share/c" || up == "F:6 644") << up;
    // The receipt's line, and one a file.
    EXPECT_EQ(std::count(sums.begin(), sums.end(), '\n'), up.starts_with('F') ? 11 : 10) << sums;
    // Whole: the load ended well.
    EXPECT_TRUE(list.ends_with("\"\n# the load ended\n")) << list;
    std::set<std::string> listed;
    std::istringstream lines(list.substr(list.find('\n') + 1));  // after the receipt's line
    for (std::string line; std::getline(lines, line) && !line.starts_with('#');) {
      EXPECT_TRUE(listed.insert(line.substr(line.find('"'))).second) << line;
    }
    EXPECT_TRUE(listed.contains("\"bin/alias\" -> \"tool\"")) << list;
    EXPECT_TRUE(listed.contains("\"lib/extra\"")) << list;  // through the link cur

    if (one_after_another.empty()) {
      one_after_another = tree;
      EXPECT_EQ(tree["share/a"], "F:a1 644");
      EXPECT_EQ(tree["lib/libx"], "Fx:x2 750");
      EXPECT_EQ(tree["lib/extra"], "F:e4 644");
      EXPECT_EQ(tree["bin/alias"], "L:tool");
    }
    EXPECT_EQ(tree, one_after_another);
  }
}

TEST_F(Loading, FootprintsMeetWhereTheOrderOfTwoBatchesMatters) {
  // Uses of batch 2 and batch 3: "W:p" writes p, "L:p" goes through the
  // link p, "D:p" walks the directory p that was there, "Mn:p" uses the
  // directory p that batch n makes.
  struct Case {
    const char* what;
    std::vector<std::string> second, third;
    bool meet;
  };
  const Case cases[] = {
      {"different files", {"W:a/x"}, {"W:b/y"}, false},
      {"one file written by both", {"W:a/x"}, {"W:a/x"}, true},
      {"a directory both walk, there before", {"D:a", "W:a/x"}, {"D:a", "W:a/y"}, false},
      {"a directory one makes and the other walks", {"M2:a", "W:a/x"}, {"M2:a", "W:a/y"}, true},
      {"a directory an earlier batch made", {"M1:a"}, {"M1:a"}, false},
      {"a link both go through", {"L:lib"}, {"L:lib"}, false},
      {"a link one goes through and the other writes", {"L:lib"}, {"W:lib"}, true},
      {"a directory one walks and the other replaces", {"D:a"}, {"W:a"}, true},
      {"a place used in two ways by one batch", {"L:l", "W:l"}, {"L:l"}, true},
      {"the installation directory, whose time one sets", {"W:", "W:a/x"}, {"W:b/y"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Footprint second(2), third(3);
    for (auto [uses, footprint] : {std::pair{&c.second, &second}, std::pair{&c.third, &third}}) {
      for (const std::string& use : *uses) {
        std::string place = use.substr(use.find(':') + 1);
        if (use[0] == 'W') footprint->Wrote(place);
        if (use[0] == 'L') footprint->WentThrough(place);
        if (use[0] == 'D') footprint->UsedDirectory(place, 0);
        if (use[0] == 'M') footprint->UsedDirectory(place, use[1] - '0');
      }
    }
    second.Seal();
    third.Seal();
    EXPECT_EQ(second.Meets(third), c.meet);
    EXPECT_EQ(third.Meets(second), c.meet);
  }
}

TEST_F(Loading, ShellSyntaxInAnEntryPathRunsNothing) {
  Source({"x"});
  MakeTarArchive(dist_ + "/01.tar", src_, {"x"});
  WritePak({Line("01", "$(touch PWNED)"), Line("01", "`touch PWNED2`")});
  EXPECT_EQ(Load(0).status, 1);
  EXPECT_EQ(ListDir(inst_), std::vector<std::string>{});
  EXPECT_FALSE(Exists(dist_ + "/PWNED") || Exists(dir_ / "PWNED"));
}

TEST_F(Loading, PlainArchivesAreNamedLikeTheTableOfContents) {
  // A blank in the distribution path, and the ";1" suffix as it stands.
  dist_ = dir_ / "my cd";
  MakeDirs(dist_);
  Source({"one", "two"});
  MakeTarArchive(dist_ + "/01.TAR;1", src_, {"one"});
  MakeTarArchive(dist_ + "/02.tar;1", src_, {"two"});
  WritePak({Line("01", "one")});
  EXPECT_EQ(Load(4).status, -1);
  WritePak({Line("02", "two")});
  EXPECT_EQ(Load(1).status, -1);
  EXPECT_EQ(ReadFile("one") + ReadFile("two"), "onetwo");
}

TEST_F(Loading, AMissingArchiveIsFoundBeforeAnythingIsUnpacked) {
  Source({"one", "two"});
  MakeTarArchive(dist_ + "/01.tar", src_, {"one"});
  MakeTarArchive(dist_ + "/02.tar", src_, {"two"});
  // The third is not there; a title line names no archive to be read.
  WritePak(
      {TocTitle(1, true, "Things"), Line("01", "one"), Line("02", "two"), Line("03", "three")});
  testing::internal::CaptureStderr();
  Outcome loaded = Load(0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(loaded.status, 1);
  EXPECT_EQ(loaded.out, "\n" + kFailed);
  EXPECT_EQ(err, dist_ + "/03.tar: No such file or directory\n");
  EXPECT_FALSE(Exists("one"));
  EXPECT_FALSE(Exists("two"));
}

TEST_F(Loading, DirectoriesThatAreThereKeepTheirMode) {
  // "./" and "d/" of the archive are open to everyone; the installation
  // directory and d were there before, each with a mode of its own. (A new
  // directory open to everyone would be refused as root without a private
  // root: "new/" is only group-writable.)
  Source({"d/f", "new/g"});
  for (const char* dir : {"", "/d"}) {
    ASSERT_EQ(chmod((src_ + dir).c_str(), 0777), 0);
  }
  ASSERT_EQ(chmod((src_ + "/new").c_str(), 0775), 0);
  MakeTarArchive(dist_ + "/01.tar", src_, {"./", "./d/", "./d/f", "./new/", "./new/g"});
  MakeDirs(inst_ + "/d");
  ASSERT_EQ(chmod(inst_.c_str(), 0750), 0);
  ASSERT_EQ(chmod((inst_ + "/d").c_str(), 0700), 0);
  WritePak({TocEntry(1, 'D', '*', "dir", "01", 1, ".")});
  EXPECT_EQ(Load(0).status, -1);
  struct stat st;
  ASSERT_EQ(stat(inst_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  ASSERT_EQ(stat((inst_ + "/d").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  // A directory the load makes has the archive's mode (less the umask,
  // for a user other than root).
  ASSERT_EQ(stat((inst_ + "/new").c_str(), &st), 0);
  if (geteuid() == 0) {
    EXPECT_EQ(st.st_mode & 07777, 0775u);
  }
  EXPECT_EQ(ReadFile("d/f"), "d/f");
}

// The member check on its own: members as tar lists them, over links
// already in the installation directory; which member is refused and why,
// and where the others land.
TEST_F(Loading, TheMemberCheckFollowsLinksAndRefusesWhatItCannotBeSureOf) {
  using Type = ArchiveMember::Type;
  const char *kNotHere = "it is not a directory, and its name ends in \"/\" or \"/.\"",
             *kThrough = "it would replace a link that its own name goes through";
  const std::string root = std::filesystem::canonical(inst_).string();
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> on_disk;  // link -> target
    std::vector<ArchiveMember> members;
    std::string refused;  // the member refused; empty when all are allowed
    std::string reason;
    std::vector<std::string> places;  // of every member, when all are allowed
  };
  const Case cases[] = {
      {"files and directories",
       {},
       {{"d/", Type::kDirectory}, {"./d/f", Type::kFile}, {"/g", Type::kFile}},
       "",
       "",
       {"d", "d/f", "g"}},
      {"a link inside, and through it",
       {},
       {{"d/", Type::kDirectory}, {"l", Type::kSymlink, "d"}, {"l/x", Type::kFile}},
       "",
       "",
       {"d", "l", "d/x"}},
      {"an absolute link through the installation directory's own path",
       {},
       {{"a", Type::kSymlink, root + "/d"}, {"a/x", Type::kFile}},
       "",
       "",
       {"a", "d/x"}},
      {"an absolute link one directory down goes on from the root",
       {},
       {{"sub/", Type::kDirectory},
        {"sub/abs", Type::kSymlink, root + "/x"},
        {"sub/abs/y", Type::kFile}},
       "",
       "",
       {"sub", "sub/abs", "x/y"}},
      {"a link up, and through it",
       {},
       {{"up", Type::kSymlink, ".."}, {"up/x", Type::kFile}},
       "up/x",
       "it leads outside the installation directory",
       {}},
      {"an absolute link elsewhere",
       {},
       {{"a", Type::kSymlink, "/etc"}, {"a/x", Type::kFile}},
       "a/x",
       "it leads outside the installation directory",
       {}},
      {"a link on disk",
       {{"share", "../.."}},
       {{"share/x", Type::kFile}},
       "share/x",
       "it leads outside the installation directory",
       {}},
      {"a hard link to a link is that link",
       {},
       {{"l", Type::kSymlink, ".."}, {"h", Type::kHardlink, "l"}, {"h/x", Type::kFile}},
       "h/x",
       "it leads outside the installation directory",
       {}},
      {"a hard link to a link on disk",
       {{"l", ".."}},
       {{"h", Type::kHardlink, "l"}, {"h/x", Type::kFile}},
       "h/x",
       "it leads outside the installation directory",
       {}},
      {"a hard link to a place outside",
       {},
       {{"h", Type::kHardlink, "../x"}},
       "h",
       "it leads outside the installation directory",
       {}},
      {"a directory over a link",
       {{"d", "sub"}},
       {{"d/", Type::kDirectory}},
       "d/",
       "a directory would replace a link",
       {}},
      {"a device",
       {},
       {{"null", Type::kSpecial}},
       "null",
       "it is a device, a FIFO or a socket",
       {}},
      {"a name with \"..\" is skipped by tar", {}, {{"../x", Type::kFile}}, "", "", {""}},
      // tar cannot replace l by "l/.", nor up by "up/up" without making
      // directories where it was.
      {"l/.", {{"l", "d"}}, {{"l/.", Type::kSymlink, "."}}, "l/.", kNotHere, {}},
      {"up/up", {{"up", "."}}, {{"up/up", Type::kFile}}, "up/up", kThrough, {}},
      // The directory of d/a was found once; d then becomes a link.
      {"a directory walked again after it became a link",
       {},
       {{"d/", Type::kDirectory},
        {"d/a", Type::kFile},
        {"d", Type::kSymlink, ".."},
        {"d/b", Type::kFile}},
       "d/b",
       "it leads outside the installation directory",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(inst_);
    MakeDirs(inst_);
    for (const auto& [link, target] : c.on_disk) {
      ASSERT_EQ(symlink(target.c_str(), (inst_ + "/" + link).c_str()), 0);
    }
    int root_fd = open(inst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    Landing landing(root_fd, root, false);
    Refusal refusal;
    std::vector<MemberView> set_id;
    std::vector<std::string> places;
    bool allowed = landing.Allows(
        c.members, [](std::string_view) { return true; }, refusal, set_id, &places);
    close(root_fd);
    EXPECT_EQ(allowed, c.refused.empty());
    if (allowed) {
      EXPECT_EQ(places, c.places);
    } else {
      EXPECT_EQ(refusal.name, c.refused);
      EXPECT_EQ(refusal.reason, c.reason);
    }
  }
  // Set-user-ID and set-group-ID files are named; a directory's bits are not.
  std::vector<ArchiveMember> members = {{"tool", Type::kFile, "", 04755},
                                        {"group", Type::kFile, "", 02755},
                                        {"dir/", Type::kDirectory, "", 02775}};
  auto open_dir = [&] { return open(inst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); };
  int root_fd = open_dir();
  Landing landing(root_fd, root, false);
  Refusal refusal;
  std::vector<MemberView> set_id;
  ASSERT_TRUE(landing.Allows(
      members, [](std::string_view) { return true; }, refusal, set_id));
  close(root_fd);
  ASSERT_EQ(set_id.size(), 2u);
  EXPECT_EQ(set_id[0].name, "tool");
  EXPECT_EQ(set_id[1].name, "group");
  // As root without a private root, a directory another user could write to
  // is not walked through: one the load makes open to everyone is; one that
  // is there keeps its own mode, whatever its member says.
  if (geteuid() != 0) return;
  MakeDirs(inst_ + "/there");
  ASSERT_EQ(chmod((inst_ + "/there").c_str(), 0755), 0);
  ASSERT_EQ(chmod(inst_.c_str(), 0755), 0);
  for (bool there : {true, false}) {
    std::string dir = there ? "there" : "new";
    std::vector<ArchiveMember> writable = {{dir + "/", Type::kDirectory, "", 0777},
                                           {dir + "/f", Type::kFile, "", 0644}};
    root_fd = open_dir();
    Landing guarded(root_fd, root, true);
    EXPECT_EQ(guarded.Allows(
                  writable, [](std::string_view) { return true; }, refusal, set_id),
              there)
        << dir;
    close(root_fd);
  }
}

TEST_F(Loading, CompressedFormsIgnoreTheVariantIndex) {
  const char* suffixes[3] = {"tar.z", "tar.Z", "TAR.Z"};
  for (int form = 0; form < 3; ++form) {
    SCOPED_TRACE(form);
    std::filesystem::remove_all(dist_);
    std::filesystem::remove_all(src_);
    MakeDirs(dist_);
    Source({"c1", "c2"}, "-packed");
    MakeTarArchive(dist_ + "/01" + suffixes[form], src_, {"c1"}, true);
    MakeTarArchive(dist_ + "/02" + suffixes[form], src_, {"c2"}, true);
    Source({"c1"}, "-plain");
    MakeTarArchive(dist_ + "/01.TAR;1", src_, {"c1"});
    WritePak({Line("01", "c1"), Line("02", "c2")});
    EXPECT_EQ(Load(4).out, "\n\n" + kLoadFinished + "\n");
    EXPECT_EQ(ReadFile("c1") + ReadFile("c2"), "c1-packedc2-packed");
  }
}

TEST_F(Loading, BadCompressedDataOrNoGunzipFailsTheBatch) {
  Source({"good", "bad"});
  MakeTarArchive(dist_ + "/01tar.z", src_, {"good"}, true);
  MakeTarArchive(dist_ + "/bad.tar", src_, {"bad"});
  std::string whole = Gzipped(ReadFile(dist_ + "/bad.tar"));
  // Not deflate at all, and a gzip trailer cut short by 1, 4 and 8 bytes.
  // (The farewell of the first failure releases the catalogue: only its
  // output is whole.)
  bool first = true;
  for (const std::string& damaged :
       {std::string("\x1f\x8b\x08\x00garbage-not-deflate", 23), whole.substr(0, whole.size() - 1),
        whole.substr(0, whole.size() - 4), whole.substr(0, whole.size() - 8)}) {
    SCOPED_TRACE(damaged.size());
    WriteFile(dist_ + "/02tar.z", damaged);
    WritePak({Line("01", "good"), Line("02", "bad")});
    Outcome loaded = Load(0);
    EXPECT_EQ(loaded.status, 1);
    if (first) {
      EXPECT_EQ(loaded.out, "\n" + kFailed);
    }
    first = false;
    EXPECT_TRUE(Exists("good"));
    EXPECT_FALSE(Exists("bad"));
    ASSERT_TRUE(MakeWorkingFiles(ReadSettings().tmpdir));
  }

  WritePak({Line("01", "good")});
  std::string path = std::getenv("PATH");
  setenv("PATH", dir_.path().c_str(), 1);
  Outcome loaded = Load(0);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(loaded.status, 1);

  // Side by side: a gunzip that serves each listing, then fails on 02 at
  // once while 01 is still being extracted beside it (and, with SLOW_FAILS,
  // fails later). The failure is reported once, when both have ended, with what
  // the first failing batch in the table's order said; 03 never starts.
  Source({"good", "two", "three"});
  MakeTarArchive(dist_ + "/02tar.z", src_, {"two"}, true);
  MakeTarArchive(dist_ + "/03tar.z", src_, {"three"}, true);
  // Children get no variable of ours: the script names its folder itself.
  // Unconfined, it can look at its input and note what it has seen.
  std::string bin = dir_ / "bin";
  MakeDirs(bin + "/seen");
  ASSERT_TRUE(MakeWorkingFiles(ReadSettings().tmpdir));
  ScopedVariable on_path("PATH", bin + ":" + path);
  ScopedVariable jobs("ZULJOBS", "2");
  ScopedVariable off("ZULCONFINE", "off");
  for (bool slow_fails : {false, true}) {
    SCOPED_TRACE(slow_fails ? "01 fails later" : "01 succeeds later");
    WriteFile(bin + "/gunzip", "#!/bin/sh\nseen=" + bin +
                                   "/seen\n"
                                   "a=$(basename \"$(readlink /proc/$$/fd/0)\")\n"
                                   "[ -e \"$seen/$a\" ] || { touch \"$seen/$a\"; exec gzip -dc; }\n"
                                   "case $a in 01tar.z) sleep 0.5; " +
                                   (slow_fails ? "" : "exec gzip -dc") +
                                   ";; 03tar.z) exec gzip -dc;; esac\n"
                                   "echo \"$a: broken\" >&2; exit 1\n");
    chmod((bin + "/gunzip").c_str(), 0755);
    std::filesystem::remove("good");
    for (const auto& entry : std::filesystem::directory_iterator(bin + "/seen")) {
      std::filesystem::remove(entry.path());
    }
    WritePak({Line("01", "good"), Line("02", "two"), Line("03", "three")});
    UseEnglishMessages();
    testing::internal::CaptureStderr();
    loaded = Load(0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(loaded.status, 1);
    EXPECT_EQ(loaded.out, "\n" + kFailed);
    // tar then says that its input is no archive.
    EXPECT_TRUE(err.starts_with(slow_fails ? "01tar.z: broken\n" : "02tar.z: broken\n")) << err;
    EXPECT_EQ(err.find(slow_fails ? "02tar.z" : "01tar.z"), std::string::npos) << err;
    EXPECT_EQ(Exists("good"), !slow_fails);
    EXPECT_FALSE(Exists("three"));
    ASSERT_TRUE(MakeWorkingFiles(ReadSettings().tmpdir));
  }
}

TEST_F(Loading, ThirtyThousandEntriesInOneBatch) {
  // Together far longer than one command line may be.
  const std::string dir = "a-rather-long-directory-name-for-the-packages/and-one-more-level";
  std::vector<std::string> pak;
  for (int i = 0; i < 30000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/file-%05d", i);
    pak.push_back(Line("01", dir + name));
  }
  MakeDirs(src_ + "/" + dir);
  for (int i = 0; i < 30000; ++i) WriteFile(src_ + "/" + pak[i].substr(80, dir.size() + 11), "");
  MakeTarArchive(dist_ + "/01.tar", src_, {"a-rather-long-directory-name-for-the-packages"});
  WritePak(pak);
  EXPECT_EQ(Load(0).status, -1);
  size_t count = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir)) ++count;
  EXPECT_EQ(count, 30000u);
}

TEST_F(Loading, SizeCountsEveryEntryInWholeKilobytesIn64Bits) {
  WritePak({TocEntry(1, 'F', '*', "f", "01", 0, "a"), TocEntry(1, 'F', '*', "f", "01", 1024, "b"),
            TocEntry(1, 'F', '*', "f", "01", 5000, "c")});
  EXPECT_EQ(CalculateSize(PAK), 8);
  // Three entries of nearly a terabyte: more kilobytes than 32 bits hold.
  std::vector<std::string> big(3, TocEntry(1, 'F', '*', "f", "01", 999999999999, "d"));
  WritePak(big);
  EXPECT_EQ(CalculateSize(PAK), 3 * (999999999999LL / 1024 + 1));
  EXPECT_EQ(RunUnit([&] { CalculateSize(dir_ / "none"); }).status, 1);
}

TEST_F(Loading, FreeSpaceCountsAllFreeBlocksForRoot) {
  auto space = std::filesystem::space(inst_);
  int fd = open(inst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  unsigned long long kb = KBAvailable(fd, inst_);
  close(fd);
  unsigned long long expected = (getuid() == 0 ? space.free : space.available) / 1024;
  // Other tests may write to the same file system meanwhile.
  EXPECT_LT(kb > expected ? kb - expected : expected - kb, 64u * 1024);
  EXPECT_EQ(RunUnit([&] { KBAvailable(-1, dir_ / "none"); }).status, 1);
}

}  // namespace

namespace {

// The members of `archive` as the load takes them from tar's listing.
MemberList ListedMembers(const std::string& archive) {
  RunOptions options;
  options.input = ReadFile(archive);
  options.env["LC_ALL"] = "C";
  RunResult r = RunBinary("/bin/tar", ListingArguments("-"), options);
  EXPECT_EQ(r.status, 0) << r.err;
  MemberList members;
  ListingReader reader(members);
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(reader.Read(line)) << line;
  EXPECT_TRUE(reader.Ended());
  return members;
}

// Extracts the batch's members from `archive` as `request` asks, into a
// fresh directory; gives tar's verbose listing.
std::string ExtractInto(const std::string& dir, const std::string& archive,
                        const TarRequest& request, const std::string& names,
                        const std::string& excluded) {
  MakeDirs(dir);
  std::string list = names;
  if (request.kind == TarRequest::Kind::kComplement) {
    std::string lines;
    for (std::string_view name : request.excluded) lines += std::string(name) + "\n";
    WriteFile(excluded, lines);
    list = excluded;
  }
  std::vector<std::string> args = TarArguments(archive, 1, request, list);
  args.erase(args.begin());
  RunOptions options;
  options.cwd = dir;
  RunResult r = RunBinary("/bin/tar", args, options);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

}  // namespace

TEST_F(Loading, EveryWayOfAskingTarExtractsWhatTheListOfNamesExtracts) {
  struct Case {
    const char* what;
    std::vector<std::string> files;     // of the source tree
    std::vector<std::string> archived;  // given to tar when the archive is made
    std::vector<std::string> names;     // entry paths of the batch
    bool excludable = true;             // whether tar can be asked for all but some
  };
  const Case cases[] = {
      {"directories listed before their files", {"d/a", "d/b", "e"}, {"d", "e"}, {"d", "d/a", "e"}},
      {"packages sharing an archive, one chosen", {"p/1", "q/2"}, {"p", "q"}, {"q"}},
      // A directory member not chosen above chosen ones cannot be left out
      // alone: left in, tar would make the directory from it (its mode and
      // time), the list of names only as their parent.
      {"a directory not chosen whose files are",
       {"d/a", "d/b", "x"},
       {"d", "x"},
       {"d/a", "d/b"},
       false},
      {"a file chosen whose directory is elsewhere", {"d/a", "d/b"}, {"d"}, {"d/b"}, false},
      // Left out literally and whole: "g?" is no pattern for "gx", "plain"
      // is not "sub/plain".
      {"names that look like patterns or options",
       {"a b/f*", "g?", "gx", "x[1]", "-dash", "plain", "sub/plain"},
       {"a b", "g?", "gx", "x[1]", "-dash", "plain", "sub"},
       {"a b", "x[1]", "-dash", "gx", "sub"}},
      // tar reads these differently in a list of exclusions: "bin/tool "
      // would exclude "bin/tool".
      {"names tar would read otherwise among exclusions",
       {"bin/tool", "bin/tool ", " lead", "back\\slash", "tab\t", "v\v"},
       {"bin", " lead", "back\\slash", "tab\t", "v\v"},
       {"bin/tool"},
       false},
      {"members the table of contents does not list",
       {"d/listed", "d/extra", "stray"},
       {"d", "stray"},
       {"d"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir work;
    Source(c.files);
    std::string archive = work / "01.tar";
    MakeTarArchive(archive, src_, c.archived);
    std::filesystem::remove_all(src_);
    MemberList members = ListedMembers(archive);
    TarBatch batch(work / "names");
    batch.Start("01");
    for (const std::string& name : c.names) batch.Add(name);
    std::string names = batch.Finish();

    // The index of a load in runs selects what the list selects.
    bool fails = true;
    std::vector<std::string> by_index, by_list;
    for (MemberView m : MemberIndex(members).Selected(batch, fails)) by_index.emplace_back(m.name);
    for (MemberView m : members) {
      if (batch.Selects(m.name)) by_list.emplace_back(m.name);
    }
    EXPECT_EQ(by_index, by_list);
    EXPECT_EQ(fails, ChooseTarRequest(members, batch, false).fails);

    TarRequest by_names;
    std::string listing =
        ExtractInto(work / "names-tree", archive, by_names, names, work / "excluded");
    std::map<std::string, std::string> tree = Snapshot(work / "names-tree", true);
    // The complement, even where the list of names would be cheaper; the
    // whole archive where every member is wanted.
    TarRequest forced = ChooseTarRequest(members, batch, false, 0);
    EXPECT_EQ(forced.kind != TarRequest::Kind::kNames, c.excludable);
    ExtractInto(work / "forced-tree", archive, forced, names, work / "excluded");
    EXPECT_EQ(Snapshot(work / "forced-tree", true), tree);
    // What a load with the listing shown asks: the same listing.
    TarRequest verbose = ChooseTarRequest(members, batch, true, 0);
    EXPECT_EQ(ExtractInto(work / "verbose-tree", archive, verbose, names, work / "excluded"),
              listing);
    EXPECT_EQ(Snapshot(work / "verbose-tree", true), tree);
  }
}

// tar lists a member by skipping the blocks its size gives, and extracts it
// by reading what its type needs. One row per form of header: the member
// refused and why, and what tar makes that its listing does not show.
TEST_F(Loading, AMemberIsTakenAsListedOnlyWhereExtractionReadsItSo) {
  const std::string n(150, 'n'), size512("00000001000", 12),
      why[] = {"",
               "it is a link or a directory that says it holds data",
               "the archive holds less of it than its size (a sparse file)",
               "it is not a file, a directory or a link",
               "not extracted: tar finds other members in it when extracting than when listing",
               "the archive holds it as a sparse file"};
  const std::map<size_t, std::string> sparse_map = {
      {156, "S"}, {398, size512}, {410, "00000000000"}, {422, size512}, {483, size512}};
  struct Case {
    std::vector<std::string> made_of;  // tar's options and members
    size_t header;                     // whose fields are changed afterwards
    std::map<size_t, std::string> fields;
    std::string hidden, refused;
    int reason;
  } cases[] = {
      {{"l", "up"}, 0, {{124, size512}}, "up", "l", 1},               // a link with data
      {{"d", "up"}, 0, {{124, size512}}, "", "d/", 1},                // a directory with data
      {{"d", "up"}, 0, {{124, size512}, {156, "0"}}, "up", "d/", 1},  // a file "d/" with data
      {{"--format=pax", "--pax-option=size:=512", "l"}, 0, {}, "", "l", 1},
      {{"--format=gnu", n, "up"}, 2048, {{124, size512}}, "up", n, 1},  // long name and link
      {{"x", "h", "up"}, 512, {{124, size512}}, "", "", 0},  // a hard link's size is not read
      {{"--format=pax", "--pax-option=size:=0", "f"}, 0, {}, "up", "", 0},
      {{"--format=gnu", n, "L", "h", "x"}, 0, {}, "", "", 0},  // long names on each type
      {{"--format=gnu", "--sparse", "big"}, 0, {}, "", "big", 5},
      {{"--format=pax", "--sparse-version=0.0", "big"}, 0, {}, "", "big", 2},
      {{"--format=pax", "--sparse-version=0.1", "big"}, 0, {}, "", "big", 2},
      {{"--format=pax", "--sparse-version=1.0", "big"}, 0, {}, "", "big", 2},
      {{"x"}, 0, {{156, "7"}}, "", "x", 3},  // contiguous
      {{"-V", "label", "x"}, 0, {}, "", "label", 3},
      // A sparse file whose map reads twice what it stores: extraction takes
      // the next header as data, and the data of that member as a header.
      // Its header says so; after a long name tar's extraction shows it.
      {{"y", "f"}, 0, sparse_map, "up", "y", 5},
      {{"--format=gnu", "L/" + n, "y", "f"}, 2048, sparse_map, "up", "", 4},
      // Extraction passes a ".." name over with a complaint only: no sign
      // of another reading, with pax headers between members.
      {{"--format=pax", "-P", "--transform=s,^l$,x/../l,", "l", "x"}, 0, {}, "", "", 0},
  };
  std::string src = dir_ / "staging", archive = dir_ / "forms.tar", tree = dir_ / "tree";
  MakeDirs(src + "/d");
  MakeDirs(src + "/L");
  WriteFile(src + "/L/" + n, "data");
  WriteFile(src + "/x", "");
  ASSERT_EQ(link((src + "/x").c_str(), (src + "/h").c_str()), 0);
  for (auto [at, to] : {std::pair{"l", "a"}, {"up", ".."}, {n.c_str(), &n[1]}}) {
    ASSERT_EQ(symlink(to, (src + "/" + at).c_str()), 0);
  }
  MakeTarArchive(archive, src, {"up"});
  WriteFile(src + "/f", ReadFile(archive).substr(0, 512));  // "up"'s header as data
  WriteFile(src + "/y", std::string(512, 'y'));
  WriteFile(src + "/big", "x");
  std::filesystem::resize_file(src + "/big", 1 << 20);
  ASSERT_TRUE(MakeWorkingFiles(ReadSettings().tmpdir));
  HeldTarget target(inst_);
  Sandbox sandbox = Sandbox::Beneath((*target).fd, (*target).path, {}, ReadSettings().confine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.made_of.back() + " " + std::to_string(&c - cases));
    Landing landing((*target).fd, (*target).path, false);
    std::vector<std::string> args = {"-cf", archive, "-C", src};
    args.insert(args.end(), c.made_of.begin(), c.made_of.end());
    ASSERT_EQ(RunBinary("/bin/tar", args, {}).status, 0);
    for (const auto& [field, bytes] : c.fields) PatchHeader(archive, c.header, field, bytes);
    ListedArchive archived;
    archived.List(archive, false, sandbox, {}, false);
    const MemberList& members = archived.members();
    Refusal refusal;
    std::vector<MemberView> set_id;
    std::string said = archived.error();
    if (said.empty() && !landing.Allows(
                            members, [](std::string_view) { return true; }, refusal, set_id)) {
      said = refusal.name + ": " + refusal.reason;
    }
    EXPECT_EQ(said, (c.refused.empty() ? "" : c.refused + ": ") + why[c.reason]);
    std::set<std::string> made, listed = {c.hidden};
    std::filesystem::remove_all(tree);
    MakeDirs(tree);
    RunBinary("/bin/tar", {"-xf", archive, "-C", tree}, {});
    for (const auto& [path, what] : Snapshot(tree)) made.insert(path);
    for (MemberView m : members) {
      if (!HasDotDot(m.name)) listed.emplace(WithoutTrailingSlashes(m.name));
    }
    listed.erase("");
    if (c.reason >= 4 && !c.hidden.empty()) {
      EXPECT_TRUE(made.contains(c.hidden));  // beside what the listing shows
    } else if (c.reason != 3) {
      EXPECT_EQ(made, listed);
    }
  }
}
