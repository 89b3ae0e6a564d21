// The children's programs and powers: where gunzip may be found, and what a
// confined child can no longer do.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <tuple>

#include "support/inprocess.hpp"
#include "system/landlock.hpp"
#include "system/programneeds.hpp"
#include "system/programs.hpp"
#include "system/sandbox.hpp"
#include "system/spawn.hpp"
#include "system/workingfiles.hpp"

namespace {

// Whether `argv` succeeds as a child of `work` in `sandbox`, writing into
// the file `out` (made anew).
bool RunIn(const Sandbox& sandbox, std::vector<std::string> argv, const std::string& out,
           ChildWork work = ChildWork::kExtract) {
  Command command{std::move(argv)};
  command.sandbox = &sandbox;
  command.work = work;
  command.stdout_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  command.environment = sandbox.programs().Environment(true);
  bool succeeded = RunCommand(command).Succeeded();
  close(command.stdout_fd);
  return succeeded;
}

}  // namespace

class Children : public InProcessTest {};

TEST_F(Children, GunzipIsFoundOnlyWhereNoLoadAndNoOtherUserWrites) {
  std::string inst = dir_ / "inst", medium = dir_ / "medium", good = dir_ / "good",
              open = dir_ / "open";
  for (const std::string& bin : {inst + "/bin", inst + "/sub/bin", medium + "/bin", good, open}) {
    MakeDirs(bin);
    WriteFile(bin + "/gunzip", "#!/bin/sh\n");
    ASSERT_EQ(chmod((bin + "/gunzip").c_str(), 0755), 0);
  }
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  ASSERT_EQ(symlink(inst.c_str(), (dir_ / "to-inst").c_str()), 0);
  MakeDirs(dir_ / "linked");
  ASSERT_EQ(symlink((inst + "/bin/gunzip").c_str(), (dir_ / "linked/gunzip").c_str()), 0);
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {"", std::nullopt},
      {":", std::nullopt},
      {"good", std::nullopt},  // relative
      {inst + "/bin", std::nullopt},
      {inst + "/sub/bin", std::nullopt},
      {medium + "/bin", std::nullopt},
      {dir_ / "to-inst/bin", std::nullopt},  // a folder that leads into it
      {dir_ / "linked", std::nullopt},       // a program that does
      {open, std::nullopt},                  // anyone may replace it
      {good, good + "/gunzip"},
      {"bin::" + inst + "/bin:" + open + ":" + good, good + "/gunzip"},
  };
  for (const auto& [path, found] : rows) {
    EXPECT_EQ(FindProgram("gunzip", path, {inst, medium}), found) << path;
  }
}

TEST_F(Children, WhatAnOperationLacksIsNamedWithItsMending) {
  std::string bin = dir_ / "bin";
  MakeDirs(bin);
  for (const auto& [name, text, mode] :
       {std::tuple{"script", "#!/bin/sh\n", 0755}, std::tuple{"orphan", "#! /no/sh -e\n", 0755},
        std::tuple{"plain", "\177ELF", 0755}, std::tuple{"closed", "#!/bin/sh\n", 0644}}) {
    WriteFile(bin + "/" + name, text);
    ASSERT_EQ(chmod((bin + "/" + name).c_str(), mode), 0);
  }
  struct Row {
    std::string tar, rm, gunzip;
    std::vector<std::string> lacked;  // the start of each line
  } rows[] = {
      {"/bin/tar", "/bin/rm", "", {}},
      {bin + "/none", "/bin/rm", "", {bin + "/none: No such file or directory: a load needs tar"}},
      {"/bin/tar", bin + "/closed", "", {bin + "/closed: Permission denied: a removal needs rm"}},
      {"/bin/tar", "/bin/rm", bin + "/script", {}},
      {"/bin/tar", "/bin/rm", bin + "/plain", {}},
      {"/bin/tar",
       "/bin/rm",
       bin + "/orphan",
       {bin + "/orphan: a script for /no/sh, which cannot"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tar + " " + row.rm + " " + row.gunzip);
    Programs programs;
    programs.tar = row.tar;
    programs.rm = row.rm;
    programs.gunzip = row.gunzip;
    std::vector<std::string> lacked = LackedNeeds(programs, {.tar = true, .rm = true});
    ASSERT_EQ(lacked.size(), row.lacked.size());
    for (size_t i = 0; i < lacked.size(); ++i) {
      EXPECT_TRUE(lacked[i].starts_with(row.lacked[i])) << lacked[i];
    }
  }
}

TEST_F(Children, AConfinedChildCannotDoWhatItsWorkNeverNeeds) {
  if (LandlockAbi() < 6 || geteuid() != 0) GTEST_SKIP() << "needs root and Landlock's scopes";
  // A working directory inside the installation directory.
  std::string inst = dir_ / "inst", out = dir_ / "out";
  MakeDirs(inst + "/work");
  ASSERT_TRUE(MakeWorkingFiles(inst + "/work"));
  int inst_fd = open(inst.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  Programs programs;
  ASSERT_TRUE(FindPrograms(false, {}, ReadSettings(), programs));
  // Landlock alone governs neither modes (the path of a descriptor is
  // within reach) nor the working files beneath the directory (which is
  // why an operation refuses it).
  const std::pair<std::vector<std::string>, bool> refused[] = {
      {{"/bin/sh", "-c", "kill -0 " + std::to_string(getpid())}, true},  // a process outside
      {{"/usr/bin/unshare", "--user", "true"}, true},                    // a namespace
      {{"/usr/bin/python3", "-c", "import socket; socket.socket()"}, true},
      {{"/bin/sh", "-c", "chmod 600 /dev/fd/1"}, false},  // the installer's output
      // fchmod(1) on x86_64, the register's upper half set
      {{"/usr/bin/python3", "-c",
        "import ctypes as c; exit(c.CDLL(None).syscall(91, c.c_long(1 << 32 | 1), 0o600))"},
       true},
      {{"/bin/sh", "-c", "echo x >" + WorkingDirectoryPath() + "/x"}, false}};
  for (ConfineMode mode : {ConfineMode::kStrongest, ConfineMode::kLandlock}) {
    bool strongest = mode == ConfineMode::kStrongest;
    SCOPED_TRACE(strongest ? "strongest" : "landlock");
    Sandbox sandbox = Sandbox::Beneath(inst_fd, inst, programs, mode);
    EXPECT_EQ(sandbox.private_root(), strongest);
    EXPECT_EQ(sandbox.unusable().empty(), strongest) << sandbox.unusable();
    EXPECT_TRUE(RunIn(sandbox, {"/bin/sh", "-c", "true"}, out));
    for (const auto& [argv, without_private_root] : refused) {
      if (!strongest && !without_private_root) continue;
      EXPECT_FALSE(RunIn(sandbox, argv, out)) << argv.back();
      struct stat st;
      EXPECT_TRUE(stat(out.c_str(), &st) == 0 && (st.st_mode & 0777) == 0644) << argv.back();
    }
    if (strongest) continue;
    // What the kernel says of the child: the capabilities of its work in
    // the bounding set, no new privileges, a filter.
    for (auto [work, bounding] : {std::pair{ChildWork::kExtract, "000000000000001b"},
                                  std::pair{ChildWork::kRemove, "000000000000000a"},
                                  std::pair{ChildWork::kRead, "0000000000000002"},
                                  std::pair{ChildWork::kFilter, "0000000000000000"}}) {
      ASSERT_TRUE(RunIn(sandbox, {"/bin/cat", "/proc/self/status"}, out, work));
      std::string status = ReadFile(out);
      for (std::string line : {std::string("CapBnd:\t") + bounding, std::string("NoNewPrivs:\t1"),
                               std::string("Seccomp:\t2")}) {
        EXPECT_NE(status.find(line), std::string::npos) << line;
      }
    }
  }
  close(inst_fd);
}

// How a child ended, as every caller says it: the step of its start that
// failed, the signal, the status.
TEST_F(Children, AChildThatFailsSaysWhereAndHow) {
  struct Case {
    std::vector<std::string> argv;
    int in_fd, cwd_fd;
    std::string said;
  } cases[] = {
      {{"/bin/true"}, -1, -1, ""},
      {{"/nonexistent/tool"},
       -1,
       -1,
       "/nonexistent/tool: could not be started (the program): No such file or directory"},
      {{"/bin/true"},
       999,
       -1,
       "/bin/true: could not be started (its standard streams): Bad file descriptor"},
      {{"/bin/true"},
       -1,
       999,
       "/bin/true: could not be started (its working directory): Bad file descriptor"},
      {{"/bin/false"}, -1, -1, "/bin/false: ended with status 1"},
      {{"/bin/sh", "-c", "kill -9 $$"}, -1, -1, "/bin/sh: killed by signal 9"},
  };
  for (const Case& c : cases) {
    Command command{c.argv, c.in_fd};
    command.cwd_fd = c.cwd_fd;
    EXPECT_EQ(DescribeEnd(c.argv[0], RunCommand(command)), c.said);
  }
}
