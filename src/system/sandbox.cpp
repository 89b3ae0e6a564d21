#include "system/sandbox.hpp"

#include <fcntl.h>
#include <limits.h>
#include <linux/mount.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "system/capabilities.hpp"
#include "system/notice.hpp"
#include "system/spawn.hpp"
#include "system/workingfiles.hpp"

namespace {

// The top-level names a program and its libraries live under, in every
// layout (merged or not).
const char* const kRuntimeNames[] = {"usr", "bin", "sbin", "lib", "lib32", "lib64", "libx32"};
// Single files the loader reads when they are there.
const char* const kRuntimeFiles[] = {"/etc/ld.so.cache"};

// The name of the new root's mount point in the working directory.
const char kMountPoint[] = "root";

int MountSetattr(const char* path, unsigned flags, uint64_t set) {
  mount_attr attr = {};
  attr.attr_set = set;
  return static_cast<int>(syscall(SYS_mount_setattr, AT_FDCWD, path, flags, &attr, sizeof attr));
}

// `path` without its leading '/'.
std::string Below(const std::string& path) {
  size_t start = path.find_first_not_of('/');
  return start == std::string::npos ? std::string() : path.substr(start);
}

// Every directory on the way to `below` and itself, parents first.
void AddFolders(const std::string& below, std::vector<std::string>& folders) {
  for (size_t slash = below.find('/'); slash != std::string::npos;
       slash = below.find('/', slash + 1)) {
    folders.push_back(below.substr(0, slash));
  }
  if (!below.empty()) folders.push_back(below);
}

// Nothing here may allocate: the child of a threaded process.
bool WriteAll(const char* path, std::string_view text) noexcept {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  int error = errno;
  close(fd);
  errno = error;
  return written;
}

bool MakeFolder(const char* path) noexcept { return mkdir(path, 0755) == 0 || errno == EEXIST; }

// Binds `source` at `target` (relative to the new root, already there),
// with what is mounted below it; read-only unless `writable`.
bool Bind(const char* source, const char* target, bool writable) noexcept {
  if (mount(source, target, nullptr, MS_BIND | MS_REC, nullptr) != 0) return false;
  if (writable) return true;
  return MountSetattr(target, AT_RECURSIVE,
                      MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID | MOUNT_ATTR_NODEV) == 0;
}

// Makes an empty file at `target` to bind a file over.
bool MakeFile(const char* target) noexcept {
  int fd = open(target, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The archive the child reads as its standard input, when that is a file,
// as the file /dev/fd/0 that tar opens again: read-only, so that neither
// its mode nor its content can change, and no other descriptor of the child
// (the installer's output) is reachable by a name.
// The file is bound by the path the descriptor was opened under (the
// descriptor's own mount lies in the installer's namespace, which a bind
// cannot take from) and must then be the very file the descriptor names.
bool BindArchive() noexcept {
  struct stat held, bound;
  if (fstat(STDIN_FILENO, &held) != 0 || !S_ISREG(held.st_mode)) return true;
  char path[PATH_MAX];
  ssize_t got = readlink("/proc/self/fd/0", path, sizeof path - 1);
  if (got <= 0 || path[0] != '/') return false;
  path[got] = '\0';
  if (!MakeFolder("dev/fd") || !MakeFile("dev/fd/0")) return false;
  if (mount(path, "dev/fd/0", nullptr, MS_BIND, nullptr) != 0) return false;
  if (stat("dev/fd/0", &bound) != 0 || bound.st_dev != held.st_dev || bound.st_ino != held.st_ino) {
    errno = EXDEV;
    return false;
  }
  return MountSetattr(
             "dev/fd/0", 0,
             MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID | MOUNT_ATTR_NODEV | MOUNT_ATTR_NOEXEC) == 0;
}

// The top-level name of an absolute path ("usr" of "/usr/bin").
std::string_view TopName(std::string_view path) {
  path.remove_prefix(1);
  return path.substr(0, path.find('/'));
}

}  // namespace

// Whether what `path` names now is the directory `place` was when it was
// held: a bind by name must have bound that very directory.
bool Sandbox::IsSame(const char* path, const Place& place) noexcept {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  if (st.st_dev == place.dev && st.st_ino == place.ino) return true;
  errno = EXDEV;
  return false;
}

Sandbox Sandbox::Beneath(int dir_fd, const std::string& dir_path, Programs programs,
                         ConfineMode mode) {
  Sandbox sandbox(Confinement::Beneath(dir_fd, mode), std::move(programs), mode);
  sandbox.CheckPath(dir_fd, dir_path);
  if (!sandbox.unusable_.empty() || mode == ConfineMode::kOff) return sandbox;
  sandbox.filter_ = SyscallFilter::ForChildren();
  if (mode == ConfineMode::kStrongest) {
    // Tried once: where the kernel refuses it or tar does not run in it, it
    // is not used, and that is said.
    int error = EINVAL;
    if (sandbox.Prepare(dir_fd, dir_path)) {
      sandbox.private_root_ = true;
      error = sandbox.RunsTar();
      sandbox.private_root_ = error == 0;
    }
    // The path named the held directory a moment ago; now it names another.
    if (error == EXDEV) sandbox.CheckPath(dir_fd, dir_path);
    if (!sandbox.unusable_.empty()) return sandbox;
    if (error != 0) {
      sandbox.SayLost(error == EPERM || error == EACCES || error == ENOSPC || error == EINVAL
                          ? "the kernel refuses a private mount namespace"
                          : std::strerror(error));
    }
  }
  if (!sandbox.private_root_ && sandbox.landlock()) sandbox.CheckWorkingDirectory(dir_fd);
  return sandbox;
}

void Sandbox::CheckPath(int dir_fd, const std::string& dir_path) {
  struct stat held, named;
  if (fstat(dir_fd, &held) != 0 || stat(dir_path.c_str(), &named) != 0 ||
      held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
    unusable_ = "this path no longer names the installation directory that was chosen";
  }
}

void Sandbox::CheckWorkingDirectory(int dir_fd) {
  // Landlock lets a child write anywhere beneath the installation
  // directory: the working files there would be the child's to change.
  struct stat dir, up;
  if (fstat(dir_fd, &dir) != 0) return;
  for (std::string folder = WorkingDirectoryPath(); folder.size() > 1;
       folder = folder.substr(0, std::max<size_t>(folder.rfind('/'), 1))) {
    if (stat(folder.c_str(), &up) == 0 && up.st_dev == dir.st_dev && up.st_ino == dir.st_ino) {
      unusable_ =
          "the working directory (TMPDIR) lies inside it, and tar runs without a private root";
      return;
    }
  }
}

void Sandbox::SayLost(const char* why) const {
  Notice("tar and rm run without a private root (", why,
         landlock() ? "): Landlock alone confines them" : "): no kernel confinement");
}

bool Sandbox::Prepare(int dir_fd, const std::string& dir_path) {
  int work_fd = WorkingDirectoryFd();
  const std::string& work_path = WorkingDirectoryPath();
  struct stat dir, work;
  // The installation directory "/" would be the whole tree again.
  if (dir_path.empty() || dir_path == "/" || work_fd < 0 || fstat(dir_fd, &dir) != 0 ||
      fstat(work_fd, &work) != 0) {
    return false;
  }
  // The new root's mount point, an empty directory of the run's own.
  ScratchFile(kMountPoint);
  if (mkdirat(work_fd, kMountPoint, 0700) != 0 && errno != EEXIST) return false;
  mount_point_ = work_path + "/" + kMountPoint;
  user_namespace_ = geteuid() != 0;
  uid_map_ = std::to_string(geteuid()) + " " + std::to_string(geteuid()) + " 1\n";
  gid_map_ = std::to_string(getegid()) + " " + std::to_string(getegid()) + " 1\n";
  AddRuntime();
  // The programs found elsewhere than under the runtime names are bound
  // where they were found.
  for (const std::string& folder : programs_.folders) {
    bool runtime = false;
    for (const char* name : kRuntimeNames) runtime = runtime || TopName(folder) == name;
    if (runtime || folder == "/") continue;
    program_folders_.push_back(folder);
    AddFolders(Below(folder), folders_);
  }
  work_ = {work_path, Below(work_path), work.st_dev, work.st_ino};
  dir_ = {dir_path, Below(dir_path), dir.st_dev, dir.st_ino};
  AddFolders(work_.below, folders_);
  AddFolders(dir_.below, folders_);
  return true;
}

void Sandbox::AddRuntime() {
  for (const char* name : kRuntimeNames) {
    std::string path = std::string("/") + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      runtime_.push_back({name, path, ""});
    } else if (S_ISLNK(st.st_mode)) {
      std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
      ssize_t got = readlink(path.c_str(), target.data(), target.size());
      if (got <= 0) continue;
      target.resize(static_cast<size_t>(got));
      runtime_.push_back({name, path, target});
    }
  }
  for (const char* file : kRuntimeFiles) {
    struct stat st;
    if (stat(file, &st) == 0 && S_ISREG(st.st_mode)) files_.push_back(file);
  }
  files_.push_back("/dev/null");
  for (const std::string& file : files_) {
    AddFolders(Below(file.substr(0, file.rfind('/'))), folders_);
  }
}

int Sandbox::RunsTar() const {
  int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  Command probe{{programs_.tar, "--version"}};
  probe.stdout_fd = null_fd;
  probe.stderr_fd = null_fd;
  probe.sandbox = this;
  probe.environment = programs_.Environment(true);
  ChildEnd end = RunCommand(probe);
  if (null_fd >= 0) close(null_fd);
  if (end.Succeeded()) return 0;
  return end.error != 0 ? end.error : EINVAL;
}

bool Sandbox::ApplyInChild(const char* cwd_below, ChildWork work) const noexcept {
  if (!active()) return true;
  if (private_root_) {
    bool writes = work == ChildWork::kExtract || work == ChildWork::kRemove;
    if (!EnterPrivateRoot(writes)) return false;
    if (chdir(writes ? dir_.path.c_str() : "/") != 0) return false;
    if (writes && cwd_below && *cwd_below && chdir(cwd_below) != 0) return false;
  }
  return ConfineInChild(work);
}

bool Sandbox::ConfineInChild(ChildWork work) const noexcept {
  CapabilitySet keep = work == ChildWork::kExtract  ? ExtractorCapabilities()
                       : work == ChildWork::kRemove ? RemoverCapabilities()
                       : work == ChildWork::kRead   ? ReaderCapabilities()
                                                    : CapabilitySet{0};
  if (!KeepOnlyCapabilities(keep)) return false;
  // What keeps a set-user-ID program the child runs from having more, and
  // what Landlock and the filter require of a process without
  // CAP_SYS_ADMIN.
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  bool writes = work == ChildWork::kExtract || work == ChildWork::kRemove;
  if (!(writes ? landlock_ : reads_only_).ApplyInChild()) return false;
  return filter_.ApplyInChild();
}

bool Sandbox::WriteIdentityMaps() const noexcept {
  // A process may map only its own ids, and the group map only once
  // setgroups is denied.
  return WriteAll("/proc/self/uid_map", uid_map_) && WriteAll("/proc/self/setgroups", "deny") &&
         WriteAll("/proc/self/gid_map", gid_map_);
}

bool Sandbox::EnterPrivateRoot(bool writable) const noexcept {
  int flags = CLONE_NEWNS | (user_namespace_ ? CLONE_NEWUSER : 0);
  if (unshare(flags) != 0) return false;
  if (user_namespace_ && !WriteIdentityMaps()) return false;
  // Nothing done here may reach the installer's own namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  if (mount("tmpfs", mount_point_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
            "mode=0755") != 0) {
    return false;
  }
  if (chdir(mount_point_.c_str()) != 0 || !BuildTree(writable)) return false;
  if (syscall(SYS_pivot_root, ".", ".") != 0) return false;
  if (umount2(".", MNT_DETACH) != 0 || chdir("/") != 0) return false;
  // The new root itself is read-only: a link into it leads nowhere.
  return mount(nullptr, "/", nullptr,
               MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) == 0;
}

// In the new root, the current directory: the runtime names, the program
// folders, the single files, the archive, the installation directory and
// the working directory.
bool Sandbox::BuildTree(bool writable) const noexcept {
  for (const RuntimeName& runtime : runtime_) {
    const char* name = runtime.name.c_str();
    if (!runtime.target.empty()) {
      if (symlink(runtime.target.c_str(), name) != 0) return false;
      continue;
    }
    if (!MakeFolder(name) || !Bind(runtime.source.c_str(), name, false)) return false;
  }
  for (const std::string& folder : folders_) {
    if (!MakeFolder(folder.c_str())) return false;
  }
  for (const std::string& folder : program_folders_) {
    if (!Bind(folder.c_str(), folder.c_str() + 1, false)) return false;
  }
  for (const std::string& file : files_) {
    const char* target = file.c_str() + 1;
    if (!MakeFile(target)) return false;
    // A device on a read-only bind can still be written to; its mode and
    // owner cannot be changed.
    bool device = file == "/dev/null";
    if (mount(file.c_str(), target, nullptr, MS_BIND, nullptr) != 0 ||
        MountSetattr(target, 0,
                     MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID | (device ? 0 : MOUNT_ATTR_NODEV)) !=
            0) {
      return false;
    }
  }
  if (!BindArchive()) return false;
  // The installation directory first: a working directory below it (a
  // TMPDIR inside it) is then bound read-only over it, not under it.
  if (writable &&
      (!Bind(dir_.path.c_str(), dir_.below.c_str(), true) || !IsSame(dir_.below.c_str(), dir_))) {
    return false;
  }
  const char* work = work_.below.c_str();
  return mount(work_.path.c_str(), work, nullptr, MS_BIND, nullptr) == 0 &&
         MountSetattr(work, 0, MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID | MOUNT_ATTR_NODEV) == 0 &&
         IsSame(work, work_);
}
