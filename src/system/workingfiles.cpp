#include "system/workingfiles.hpp"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/helddirectory.hpp"
#include "system/interrupts.hpp"
#include "system/trustedpath.hpp"

std::string TMP;
std::string MOD;
std::string TMP2;
std::string TMP3;
std::string PAK;

namespace {

constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
constexpr const char* kNames[] = {"TMP", "MOD", "TMP2", "TMP3", "PAK"};

// The directory the working directory was made in, the working directory
// itself (both held), its name there and its full path. The interrupt
// handler reads them: they change only while signals are held.
int base_fd = -1;
int work_fd = -1;
char work_name[16] = "";
std::string work_path;
std::vector<std::string> scratch_names;

// `path` held, when it is a directory where only root and the running user
// decide what stays; else -1.
int OpenBase(const char* path) {
  int fd = open(path, kDirectoryFlags);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || OthersCanChange(st)) {
    close(fd);
    return -1;
  }
  return fd;
}

// Makes a directory "zul" and six random characters, mode 0700, in the
// directory held as `base`, and holds it. False (errno set) when none can
// be made there.
bool MakePrivateDirectory(int base) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return false;
    char name[16] = "zul";
    for (size_t i = 0; i < sizeof random; ++i) name[3 + i] = kLetters[random[i] % 62];
    name[9] = '\0';
    if (mkdirat(base, name, 0700) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    work_fd = openat(base, name, kDirectoryFlags | O_NOFOLLOW);
    if (work_fd < 0) {
      int error = errno;
      unlinkat(base, name, AT_REMOVEDIR);
      errno = error;
      return false;
    }
    std::snprintf(work_name, sizeof work_name, "%s", name);
    return true;
  }
  errno = EEXIST;
  return false;
}

// Makes the working directory in `tmpdir` when it is an absolute path of a
// directory that can hold it safely, else in /tmp. The base is held from
// the start: a name on the way that changes meanwhile changes nothing.
bool MakeWorkingDirectory(const std::string& tmpdir, std::string& base) {
  if (tmpdir.starts_with('/')) {
    base_fd = OpenBase(tmpdir.c_str());
    if (base_fd >= 0 && MakePrivateDirectory(base_fd)) {
      base = tmpdir;
      return true;
    }
    if (base_fd >= 0) close(base_fd);
  }
  base = "/tmp";
  base_fd = open(base.c_str(), kDirectoryFlags);
  if (base_fd >= 0 && MakePrivateDirectory(base_fd)) return true;
  int error = errno;
  if (base_fd >= 0) close(base_fd);
  base_fd = -1;
  errno = error;
  return false;
}

void CloseHeld() {
  ReleaseHeldDirectory();
  if (work_fd >= 0) close(work_fd);
  if (base_fd >= 0) close(base_fd);
  work_fd = base_fd = -1;
  work_name[0] = '\0';
}

}  // namespace

bool MakeWorkingFiles(const std::string& tmpdir) {
  // The interrupt handler reads these names: no signal while they change.
  InterruptsHeld held;
  CloseHeld();
  std::string base;
  if (!MakeWorkingDirectory(tmpdir, base)) {
    std::fflush(stdout);
    std::perror(base.c_str());
    // What mends it, where /tmp is missing, as in a bare chroot.
    std::fputs("install: TMPDIR may name another directory for the working files\n", stderr);
    return false;
  }
  // A trailing slash of $TMPDIR makes no double slash in the names.
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  work_path = (base == "/" ? "" : base) + "/" + work_name;
  HoldDirectory(work_fd, work_path);
  scratch_names.clear();
  TMP = work_path + "/TMP";
  MOD = work_path + "/MOD";
  TMP2 = work_path + "/TMP2";
  TMP3 = work_path + "/TMP3";
  PAK = work_path + "/PAK";
  AddInterruptCleanup(RemoveWorkingFiles);
  return true;
}

int WorkingDirectoryFd() { return work_fd; }

const std::string& WorkingDirectoryPath() { return work_path; }

std::string ScratchFile(const std::string& name) {
  InterruptsHeld held;
  std::string path = work_path + "/" + name;
  for (const std::string& known : scratch_names) {
    if (known == name) return path;
  }
  scratch_names.push_back(name);
  return path;
}

void RemoveWorkingFiles() {
  if (work_fd < 0) return;
  for (const char* name : kNames) unlinkat(work_fd, name, 0);
  for (const std::string& name : scratch_names) {
    if (unlinkat(work_fd, name.c_str(), 0) != 0 && errno == EISDIR) {
      unlinkat(work_fd, name.c_str(), AT_REMOVEDIR);
    }
  }
  // The directory itself goes only while its name still stands for it.
  struct stat held, named;
  if (fstat(work_fd, &held) == 0 && fstatat(base_fd, work_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
      held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
    unlinkat(base_fd, work_name, AT_REMOVEDIR);
  }
}

void ReleaseWorkingFiles() {
  InterruptsHeld held;
  RemoveWorkingFiles();
  CloseHeld();
  for (std::string* name : {&TMP, &TMP2, &TMP3, &MOD, &PAK}) name->clear();
  work_path.clear();
  scratch_names.clear();
}
