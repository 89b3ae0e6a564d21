// Where the children that write and delete (tar, rm) run. Where the kernel
// allows it (root, or unprivileged user namespaces), a child runs in a
// private mount namespace whose root is a new, empty file system, read-only
// once set up, holding only the installation directory (writable, at its own
// absolute path), read-only binds of what a program needs to run (the
// program folders and libraries), the private working directory (read-only)
// and /dev/null. A link that leads outside the installation directory then
// leads to nothing or to something read-only, whatever tar parses and
// whatever anyone changes meanwhile. Landlock is the second wall inside it,
// and the only one where the namespace cannot be had.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "system/landlock.hpp"

// What ZULCONFINE asks for: unset (or any other word) the strongest the
// kernel allows, "landlock" Landlock without the namespace, "off" neither.
enum class ConfineMode { kStrongest, kLandlock, kOff };
ConfineMode WantedConfineMode();

class Sandbox {
 public:
  // The confinement for children writing beneath the directory open as
  // `dir_fd` (whose absolute path is `dir_path`), which read the private
  // working directory. The namespace is tried once here: when the kernel
  // refuses it, or tar does not run in it, the children get Landlock alone.
  static Sandbox Beneath(int dir_fd, const std::string& dir_path);

  Sandbox(Sandbox&&) noexcept = default;
  Sandbox& operator=(Sandbox&&) noexcept = default;

  // Whether children run in the private namespace.
  bool private_root() const { return private_root_; }
  bool landlock() const { return landlock_.active(); }
  bool active() const { return private_root_ || landlock(); }

  // In the child, between fork and exec, with system calls only: from here
  // on the process and what it executes see the private root, and work in
  // `cwd_below`, a path below the installation directory (empty: the
  // directory itself). Without the namespace the caller sets the working
  // directory itself. False (errno set) when the kernel refused a step.
  bool ApplyInChild(const char* cwd_below) const noexcept;

 private:
  // A directory bound at its own path: the path, the path without its
  // leading '/', and what it was when it was held.
  struct Place {
    std::string path, below;
    dev_t dev = 0;
    ino_t ino = 0;
  };

  explicit Sandbox(Confinement landlock) : landlock_(std::move(landlock)) {}
  // In the installer: what the child will do, worked out where it may
  // allocate. False when the namespace is out of the question.
  bool Prepare(int dir_fd, const std::string& dir_path);
  void AddRuntime();
  bool RunsTar() const;
  // In the child.
  bool EnterPrivateRoot() const noexcept;
  bool BuildTree() const noexcept;
  bool WriteIdentityMaps() const noexcept;
  static bool IsSame(const char* path, const Place& place) noexcept;

  // A top-level name of the root that programs need: a link is made again,
  // a directory is bound read-only.
  struct RuntimeName {
    std::string name;    // "usr", "lib64", ...
    std::string source;  // "/usr", "/lib64", ...
    std::string target;  // of a link; empty for a directory
  };

  Confinement landlock_;
  bool private_root_ = false;
  bool user_namespace_ = false;  // not root: the namespace needs one of its own
  std::string uid_map_, gid_map_;
  std::string mount_point_;  // where the new root is mounted before it becomes the root
  std::vector<RuntimeName> runtime_;
  std::vector<std::string> files_;    // single files bound ("/etc/ld.so.cache", "/dev/null")
  std::vector<std::string> folders_;  // every directory to make in the new root, parents first
  Place work_;                        // the working directory, read-only
  Place dir_;                         // the installation directory, writable
};
