#include "system/workingfiles.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "system/interrupts.hpp"

std::string TMP;
std::string MOD;
std::string TMP2;
std::string TMP3;
std::string PAK;

namespace {

std::string work_dir;
std::vector<std::string> scratch_files;

// $TMPDIR when it can hold the working directory: an absolute path of a
// directory the run may write in; else /tmp. The names of the working files
// must stay valid when the run changes its directory.
std::string WorkingBase() {
  const char* tmpdir = std::getenv("TMPDIR");
  struct stat st;
  if (tmpdir && tmpdir[0] == '/' && stat(tmpdir, &st) == 0 && S_ISDIR(st.st_mode) &&
      access(tmpdir, W_OK | X_OK) == 0) {
    return tmpdir;
  }
  return "/tmp";
}

}  // namespace

bool MakeWorkingFiles() {
  // The interrupt handler reads these names: no signal while they change.
  InterruptsHeld held;
  std::string base = WorkingBase();
  std::string pattern = base + "/zulXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) {
    std::fflush(stdout);
    std::perror(base.c_str());
    return false;
  }
  work_dir = name.data();
  scratch_files.clear();
  TMP = work_dir + "/TMP";
  MOD = work_dir + "/MOD";
  TMP2 = work_dir + "/TMP2";
  TMP3 = work_dir + "/TMP3";
  PAK = work_dir + "/PAK";
  AddInterruptCleanup(RemoveWorkingFiles);
  return true;
}

std::string ScratchFile(const std::string& name) {
  InterruptsHeld held;
  std::string path = work_dir + "/" + name;
  for (const std::string& known : scratch_files) {
    if (known == path) return path;
  }
  scratch_files.push_back(path);
  return path;
}

void RemoveWorkingFiles() {
  if (work_dir.empty()) return;
  for (const std::string* name : {&TMP, &TMP2, &TMP3, &MOD, &PAK}) unlink(name->c_str());
  for (const std::string& name : scratch_files) unlink(name.c_str());
  rmdir(work_dir.c_str());
}

void ReleaseWorkingFiles() {
  InterruptsHeld held;
  RemoveWorkingFiles();
  for (std::string* name : {&TMP, &TMP2, &TMP3, &MOD, &PAK}) name->clear();
  work_dir.clear();
  scratch_files.clear();
}
