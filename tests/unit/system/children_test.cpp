// The children's programs and powers: where gunzip may be found, and what a
// confined child can no longer do.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "support/inprocess.hpp"
#include "system/landlock.hpp"
#include "system/programs.hpp"
#include "system/sandbox.hpp"
#include "system/spawn.hpp"
#include "system/workingfiles.hpp"

namespace {

void Executable(const std::string& path) {
  WriteFile(path, "#!/bin/sh\n");
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

// What `argv` says on standard output and how it ended, run in `sandbox`
// as a child of `work`, with `out` (when given) as its standard output.
std::pair<bool, std::string> RunIn(const Sandbox& sandbox, std::vector<std::string> argv,
                                   ChildWork work = ChildWork::kExtract, int out = -1) {
  int said = out >= 0 ? out : memfd_create("said", MFD_CLOEXEC);
  Command command{std::move(argv)};
  command.sandbox = &sandbox;
  command.work = work;
  command.stdout_fd = said;
  command.environment = sandbox.programs().Environment(true);
  bool ok = RunCommand(command).Succeeded();
  std::string text(4096, '\0');
  ssize_t got = pread(said, text.data(), text.size(), 0);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (out < 0) close(said);
  return {ok, text};
}

}  // namespace

class Children : public InProcessTest {};

TEST_F(Children, GunzipIsFoundOnlyWhereNoLoadAndNoOtherUserWrites) {
  std::string inst = dir_ / "inst", medium = dir_ / "medium", good = dir_ / "good",
              open = dir_ / "open";
  for (const std::string& bin : {inst + "/bin", inst + "/sub/bin", medium + "/bin", good, open}) {
    MakeDirs(bin);
    Executable(bin + "/gunzip");
  }
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  ASSERT_EQ(symlink(inst.c_str(), (dir_ / "to-inst").c_str()), 0);
  MakeDirs(dir_ / "linked");
  ASSERT_EQ(symlink((inst + "/bin/gunzip").c_str(), (dir_ / "linked/gunzip").c_str()), 0);
  struct Row {
    std::string path;
    std::optional<std::string> found;
  };
  const Row rows[] = {
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
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(FindProgram("gunzip", row.path, {inst, medium}), row.found);
  }
}

TEST_F(Children, AConfinedChildCannotDoWhatItsWorkNeverNeeds) {
  if (LandlockAbi() < 6 || geteuid() != 0) GTEST_SKIP() << "needs root and Landlock's scopes";
  // A working directory inside the installation directory.
  std::string inst = dir_ / "inst";
  MakeDirs(inst + "/work");
  ScopedVariable tmpdir("TMPDIR", inst + "/work");
  ASSERT_TRUE(MakeWorkingFiles());
  int inst_fd = open(inst.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  Programs programs;
  ASSERT_TRUE(FindPrograms(false, {}, programs));
  std::string out_file = dir_ / "out";
  WriteFile(out_file, "");
  ASSERT_EQ(chmod(out_file.c_str(), 0644), 0);
  int out = open(out_file.c_str(), O_RDWR | O_CLOEXEC);
  std::string me = std::to_string(getpid());
  for (const char* mode : {"", "landlock"}) {
    SCOPED_TRACE(*mode ? mode : "strongest");
    ScopedVariable confine("ZULCONFINE", *mode ? std::optional<std::string>(mode) : std::nullopt);
    Sandbox sandbox = Sandbox::Beneath(inst_fd, inst, programs);
    EXPECT_EQ(sandbox.private_root(), !*mode);
    // Landlock alone would let a child change the working files.
    EXPECT_EQ(sandbox.unusable().empty(), !*mode) << sandbox.unusable();
    EXPECT_TRUE(RunIn(sandbox, {"/bin/sh", "-c", "true"}).first);
    // Landlock alone governs neither modes (the path of a descriptor is
    // within reach) nor the working files beneath the directory (which is
    // why an operation refuses it, above).
    struct Refused {
      std::vector<std::string> argv;
      bool without_private_root;
    };
    for (const Refused& refused :
         {Refused{{"/bin/sh", "-c", "kill -0 " + me}, true},      // outside
          Refused{{"/usr/bin/unshare", "--user", "true"}, true},  // namespace
          Refused{{"/usr/bin/python3", "-c", "import socket; socket.socket()"}, true},
          Refused{{"/bin/sh", "-c", "chmod 600 /dev/fd/1"}, false},  // the installer's output
          Refused{{"/bin/sh", "-c", "echo x >" + WorkingDirectoryPath() + "/x"}, false}}) {
      SCOPED_TRACE(refused.argv.back());
      if (*mode && !refused.without_private_root) continue;
      EXPECT_FALSE(RunIn(sandbox, refused.argv, ChildWork::kExtract, out).first);
    }
    struct stat st;
    ASSERT_EQ(fstat(out, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    if (!*mode) continue;
    // What the kernel says of the child: the capabilities of its work, no
    // new privileges, a filter.
    for (auto [work, bounding] : {std::pair{ChildWork::kExtract, "000000000000001b"},
                                  std::pair{ChildWork::kRemove, "000000000000000a"},
                                  std::pair{ChildWork::kRead, "0000000000000002"}}) {
      std::string status = RunIn(sandbox, {"/bin/cat", "/proc/self/status"}, work).second;
      EXPECT_NE(status.find(std::string("CapBnd:\t") + bounding), std::string::npos) << status;
      EXPECT_NE(status.find("NoNewPrivs:\t1"), std::string::npos) << status;
      EXPECT_NE(status.find("Seccomp:\t2"), std::string::npos) << status;
    }
  }
  close(out);
  close(inst_fd);
}
