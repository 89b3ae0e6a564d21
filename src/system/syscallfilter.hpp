// What a child (tar, rm, gunzip) never does, refused by the kernel whatever
// the child runs: a seccomp filter made once in the installer (with
// libseccomp) and loaded in a child between fork and exec. Refused: file
// handles (which open files by number, past every path), mounts and root
// changes, new namespaces, tracing and reading other processes, kernel
// modules, kexec, BPF, keys, io_uring (which would pass the filter by), new
// sockets, a terminal's input, and a change to the standard descriptors'
// files (their mode, owner, size): those are the installer's.
#pragma once

#include <linux/filter.h>

#include <vector>

class SyscallFilter {
 public:
  // The filter for this machine's architecture; an empty one (active()
  // false) when libseccomp cannot make it.
  static SyscallFilter ForChildren();

  bool active() const { return !program_.empty(); }

  // In the child, with no_new_privs set: from here on the process and what
  // it executes are filtered. False (errno set) when the kernel refused.
  bool ApplyInChild() const noexcept;

 private:
  std::vector<sock_filter> program_;
};
