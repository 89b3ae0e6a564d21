// Where the children (tar, rm, gunzip) run. Where the kernel allows it
// (root, or unprivileged user namespaces), a child runs in a private mount
// namespace whose root is a new, empty file system, read-only once set up,
// holding only the installation directory (writable, at its own absolute
// path, for a child that writes or removes), read-only binds of what a
// program needs to run (the program folders and libraries), the private
// working directory (read-only), the archive a child reads as /dev/fd/0
// (read-only) and /dev/null. A link that leads outside the installation
// directory then leads to nothing or to something read-only, whatever tar
// parses and whatever anyone changes meanwhile. Landlock is the second wall
// inside it, and the only one where the namespace cannot be had. In every
// confined mode a child also gets no new privileges, only the capabilities
// its work needs, and a filter of the system calls it never makes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "system/landlock.hpp"
#include "system/programs.hpp"
#include "system/syscallfilter.hpp"

enum class ChildWork;

class Sandbox {
 public:
  // The confinement for children writing beneath the directory open as
  // `dir_fd` (whose absolute path is `dir_path`), which read the private
  // working directory and run `programs`, as strong as `mode` asks. The
  // namespace is tried once here: when the kernel refuses it, or tar does
  // not run in it, the children get Landlock alone, and standard error says
  // so once.
  static Sandbox Beneath(int dir_fd, const std::string& dir_path, Programs programs,
                         ConfineMode mode);

  Sandbox(Sandbox&&) noexcept = default;
  Sandbox& operator=(Sandbox&&) noexcept = default;

  // Whether children run in the private namespace.
  bool private_root() const { return private_root_; }
  bool landlock() const { return landlock_.active(); }
  bool active() const { return private_root_ || landlock(); }
  // Why nothing may be written beneath the installation directory, empty
  // when all is well: its path no longer names the directory that was held
  // (another user swapped a directory above it), or the working directory
  // lies inside it where no private root keeps it read-only.
  const std::string& unusable() const { return unusable_; }
  const Programs& programs() const { return programs_; }

  // In the child, between fork and exec, with system calls only: from here
  // on the process and what it executes see the private root, work in
  // `cwd_below`, a path below the installation directory (empty: the
  // directory itself; a child that only reads works in the root), and have
  // the powers `work` needs. Without the namespace the caller sets the
  // working directory itself. False (errno set) when the kernel refused a
  // step.
  bool ApplyInChild(const char* cwd_below, ChildWork work) const noexcept;

 private:
  // A directory bound at its own path: the path, the path without its
  // leading '/', and what it was when it was held.
  struct Place {
    std::string path, below;
    dev_t dev = 0;
    ino_t ino = 0;
  };

  Sandbox(Confinement writes, Programs programs, ConfineMode mode)
      : landlock_(std::move(writes)),
        reads_only_(Confinement::Beneath(-1, mode)),
        programs_(std::move(programs)) {}
  // In the installer: what the child will do, worked out where it may
  // allocate. False when the namespace is out of the question.
  bool Prepare(int dir_fd, const std::string& dir_path);
  void AddRuntime();
  // 0 when tar runs in the private root, else why it does not.
  int RunsTar() const;
  // Says once on standard error that the private root is lost, and why.
  void SayLost(const char* why) const;
  // Finds what makes the sandbox unusable.
  void CheckPath(int dir_fd, const std::string& dir_path);
  void CheckWorkingDirectory(int dir_fd);
  // In the child.
  bool EnterPrivateRoot(bool writable) const noexcept;
  bool BuildTree(bool writable) const noexcept;
  bool ConfineInChild(ChildWork work) const noexcept;
  bool WriteIdentityMaps() const noexcept;
  static bool IsSame(const char* path, const Place& place) noexcept;

  // A top-level name of the root that programs need: a link is made again,
  // a directory is bound read-only.
  struct RuntimeName {
    std::string name;    // "usr", "lib64", ...
    std::string source;  // "/usr", "/lib64", ...
    std::string target;  // of a link; empty for a directory
  };

  Confinement landlock_;    // writing beneath the installation directory
  Confinement reads_only_;  // writing nowhere
  SyscallFilter filter_;
  Programs programs_;
  bool private_root_ = false;
  std::string unusable_;
  bool user_namespace_ = false;  // not root: the namespace needs one of its own
  std::string uid_map_, gid_map_;
  std::string mount_point_;  // where the new root is mounted before it becomes the root
  std::vector<RuntimeName> runtime_;
  std::vector<std::string> files_;  // single files bound ("/etc/ld.so.cache", "/dev/null")
  std::vector<std::string> program_folders_;  // bound read-only, beyond the runtime names
  std::vector<std::string> folders_;  // every directory to make in the new root, parents first
  Place work_;                        // the working directory, read-only
  Place dir_;                         // the installation directory, writable
};
