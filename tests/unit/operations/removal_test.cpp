#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "fixture.hpp"
#include "operations/beneath.hpp"
#include "operations/runcrem.hpp"

namespace {

std::string Entry(char type, char package_class, const std::string& path) {
  return TocEntry(1, type, package_class, "package", "01", 10, path);
}

class Removal : public OperationsTest {
 protected:
  void SetUp() override {
    OperationsTest::SetUp();
    MakeDirs("pkg/sub");
    WriteFile("pkg/a", "a");
    WriteFile("pkg/sub/b", "b");
    WriteFile("top", "t");
    WriteFile("kept", "k");
    MakeDirs("adir");
    MakeDirs("adir/inner");
    WritePak({Entry('D', 'O', "pkg/"), Entry('F', '*', "pkg/a"), Entry('D', '*', "pkg/sub"),
              Entry('F', 'O', "top"), Entry('X', '*', "nodir"), Entry('F', '*', "nofile"),
              // rm refuses "." and a directory cannot be unlinked, even by root.
              Entry('D', '*', "."), Entry('F', '*', "adir"),
              // A required package is kept whole, its continuation lines too.
              Entry('F', 'R', "kept"), Entry('D', '*', "adir/inner"), Entry('D', '*', "adir")});
  }
  Outcome Remove(ListFiles list_files) {
    HeldTarget target(inst_);
    return RunUnit([&] { RunREM(PAK, list_files, *target, Settings()); });
  }

  const std::string kWarnings =
      "Warning: File does not exist, File: pkg/a\n"
      "Warning: Directory does not exist, Directory: pkg/sub\n";
  const std::string kMissing =
      "Warning: Directory does not exist, Directory: nodir\n"
      "Warning: File does not exist, File: nofile\n"
      "Warning: Directory delete error, Directory: .\n"
      "Warning: Unable to delete file: adir\n";
};

TEST_F(Removal, ListsDeletionsOnlyWithFlagOne) {
  EXPECT_EQ(Remove(ListFiles::kYes).out, "\n  Deleted: pkg/\n" + kWarnings + "  Deleted: top\n" +
                                             kMissing + "\nFinished removing package(s)\n");
  EXPECT_EQ(ListDir(inst_), (std::vector<std::string>{"adir", "kept"}));
}

TEST_F(Removal, OtherFlagsShowOnlyWarnings) {
  for (ListFiles flag : {ListFiles::kNo, ListFiles::kNotAsked}) {
    MakeDirs("pkg/sub");
    WriteFile("top", "t");
    EXPECT_EQ(Remove(flag).out, "\n" + kWarnings + kMissing + "\nFinished removing package(s)\n");
    EXPECT_EQ(ListDir(inst_), (std::vector<std::string>{"adir", "kept"}));
  }
}

// Directory lines side by side in one parent go to one rm, the lines below
// them held back meanwhile; each line gets the message it would get alone,
// in order, a name given twice included.
TEST_F(Removal, DirectoryLinesSideBySideKeepTheirMessages) {
  for (const char* dir : {"d1", "d2", "d3/x", "d4"}) MakeDirs(dir);
  WriteFile("d2/f", "f");
  WriteFile("d1/inner", "i");
  WritePak({Entry('D', '*', "d1"), Entry('F', '*', "d1/inner"), Entry('D', '*', "d2"),
            Entry('D', '*', "gone"), Entry('D', '*', "d1"), Entry('F', '*', "d2/f"),
            Entry('D', '*', "d3/"), Entry('D', '*', "d3/x"), Entry('D', '*', "d4")});
  EXPECT_EQ(Remove(ListFiles::kYes).out,
            "\n  Deleted: d1\n"
            "Warning: File does not exist, File: d1/inner\n"
            "  Deleted: d2\n"
            "Warning: Directory does not exist, Directory: gone\n"
            "Warning: Directory does not exist, Directory: d1\n"
            "Warning: File does not exist, File: d2/f\n"
            "  Deleted: d3/\n"
            "Warning: Directory does not exist, Directory: d3/x\n"
            "  Deleted: d4\n"
            "\nFinished removing package(s)\n");
  EXPECT_EQ(ListDir(inst_), (std::vector<std::string>{"adir", "kept", "pkg", "top"}));
}

TEST_F(Removal, NeverLeavesTheInstallationDirectory) {
  std::string outside = dir_ / "outside";
  MakeDirs(outside + "/victims");
  WriteFile(outside + "/victim", "v");
  ASSERT_EQ(symlink("../outside", "link"), 0);
  ASSERT_EQ(symlink("pkg", "inlink"), 0);
  ASSERT_EQ(symlink(outside.c_str(), "pkg/sub/deep"), 0);
  WritePak({Entry('F', '*', "../outside/victim"), Entry('D', '*', outside + "/victims"),
            Entry('F', '*', "pkg/../../outside/victim"), Entry('F', '*', ""), Entry('D', '*', ""),
            Entry('F', '*', "link/victim"), Entry('D', '*', "link/victims"),
            Entry('D', '*', "pkg/sub/deep/victims/"), Entry('F', '*', "inlink/a"),
            Entry('D', '*', "link/")});
  EXPECT_EQ(Remove(ListFiles::kYes).out,
            "\nWarning: Unable to delete file: ../outside/victim\n"
            "Warning: Directory delete error, Directory: " +
                outside +
                "/victims\n"
                "Warning: Unable to delete file: pkg/../../outside/victim\n"
                "Warning: Unable to delete file: \n"
                "Warning: Directory delete error, Directory: \n"
                "Warning: Unable to delete file: link/victim\n"
                "Warning: Directory delete error, Directory: link/victims\n"
                "Warning: Directory delete error, Directory: pkg/sub/deep/victims/\n"
                "  Deleted: inlink/a\n"
                // The link itself lies inside: it goes, its target stays.
                "  Deleted: link/\n"
                "\nFinished removing package(s)\n");
  EXPECT_EQ(ListDir(outside), (std::vector<std::string>{"victim", "victims"}));
  EXPECT_FALSE(Exists("pkg/a") || Exists("link"));
}

}  // namespace

// The walk to an entry's directory on its own: links followed only while
// they stay beneath the installation directory, absolute ones through its
// own path.
TEST_F(Removal, TheWalkToAnEntryStaysBeneathTheInstallationDirectory) {
  using Outcome = Parent::Outcome;
  std::string root = std::filesystem::canonical(inst_).string();
  MakeDirs(inst_ + "/d/e");
  ASSERT_EQ(symlink("d", (inst_ + "/in").c_str()), 0);
  ASSERT_EQ(symlink("..", (inst_ + "/up").c_str()), 0);
  ASSERT_EQ(symlink((root + "/d").c_str(), (inst_ + "/abs").c_str()), 0);
  ASSERT_EQ(symlink("/etc", (inst_ + "/etc").c_str()), 0);
  // An absolute link one directory down goes on from the root, not from d.
  ASSERT_EQ(symlink((root + "/d").c_str(), (inst_ + "/d/abs").c_str()), 0);
  ASSERT_EQ(symlink("loop", (inst_ + "/loop").c_str()), 0);
  WriteFile(inst_ + "/file", "");
  struct Case {
    const char* path;
    Outcome outcome;
    const char* name;  // the entry's last component, when opened
    const char* at;    // the directory opened, below the installation directory
  };
  const Case cases[] = {
      {"d/e/x", Outcome::kOpened, "x", "d/e"},   {"top", Outcome::kOpened, "top", ""},
      {"d/e/", Outcome::kOpened, "e", "d"},      {"in/e/x", Outcome::kOpened, "x", "d/e"},
      {"abs/e/x", Outcome::kOpened, "x", "d/e"}, {"missing/x", Outcome::kMissing, "", ""},
      {"file/x", Outcome::kMissing, "", ""},     {"up/x", Outcome::kRefused, "", ""},
      {"etc/passwd", Outcome::kRefused, "", ""}, {"loop/x", Outcome::kRefused, "", ""},
      {"d/../x", Outcome::kRefused, "", ""},     {"/d/x", Outcome::kRefused, "", ""},
      {"", Outcome::kRefused, "", ""},           {"d/abs/e/x", Outcome::kOpened, "x", "d/e"},
  };
  int root_fd = open(inst_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(root_fd, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Parent parent = OpenParentBeneath(root_fd, root, c.path, false);
    EXPECT_EQ(parent.outcome, c.outcome);
    if (parent.outcome != Outcome::kOpened) continue;
    EXPECT_EQ(parent.name, c.name);
    struct stat opened, expected;
    ASSERT_EQ(fstat(parent.fd, &opened), 0);
    ASSERT_EQ(stat((inst_ + "/" + c.at).c_str(), &expected), 0);
    EXPECT_EQ(opened.st_ino, expected.st_ino);
    close(parent.fd);
  }
  // As root without a private root, a directory another user can write to
  // is named and refused.
  if (geteuid() == 0) {
    ASSERT_EQ(chmod((inst_ + "/d").c_str(), 0777), 0);
    Parent parent = OpenParentBeneath(root_fd, root, "d/e/x", true);
    EXPECT_EQ(parent.outcome, Outcome::kRefused);
    EXPECT_EQ(parent.open_to_others, "d");
  }
  close(root_fd);
}
