#include "system/syscallfilter.hpp"

#include <linux/sched.h>
#include <linux/seccomp.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Calls a file extractor never makes.
const char* const kRefused[] = {
    // handles and what they reach
    "open_by_handle_at", "name_to_handle_at",
    // mounts and roots
    "mount", "umount2", "mount_setattr", "move_mount", "open_tree", "fsopen", "fsconfig", "fsmount",
    "fspick", "pivot_root", "chroot",
    // namespaces
    "unshare", "setns",
    // other processes
    "ptrace", "process_vm_readv", "process_vm_writev", "kcmp", "pidfd_getfd", "perf_event_open",
    // the kernel itself
    "init_module", "finit_module", "delete_module", "kexec_load", "kexec_file_load", "bpf",
    "reboot", "swapon", "swapoff", "acct", "syslog", "iopl", "ioperm", "quotactl", "settimeofday",
    "clock_settime", "clock_adjtime", "adjtimex", "sethostname", "setdomainname", "vhangup",
    "userfaultfd",
    // keys
    "keyctl", "add_key", "request_key",
    // a ring the filter never sees
    "io_uring_setup", "io_uring_enter", "io_uring_register",
    // sockets: nothing a child does talks to a service (Landlock alone
    // would let it reach one of root's by its path)
    "socket"};

// Calls that change the file a descriptor names: refused on the standard
// ones (the installer's output, a terminal, the archive). Setting times is
// left out: tar sets them on every file it makes, and a call whose
// arguments are compared runs the filter each time, where the kernel
// otherwise remembers that a call is allowed.
const char* const kChangeDescriptorFile[] = {"fchmod",       "fchown",    "fsetxattr",
                                             "fremovexattr", "ftruncate", "fallocate",
                                             "fchmodat",     "fchownat",  "linkat"};

// The namespace flags a clone must not carry.
const unsigned long kNewNamespaces[] = {CLONE_NEWNS,  CLONE_NEWUSER, CLONE_NEWPID,   CLONE_NEWNET,
                                        CLONE_NEWIPC, CLONE_NEWUTS,  CLONE_NEWCGROUP};

// Whether the argument `arg`, as the 32 bits the kernel takes of an int or
// an unsigned int, is `value` (the filter sees the whole register, whose
// upper half a child may fill at will).
scmp_arg_cmp Low32Is(unsigned arg, uint32_t value) {
  return scmp_arg_cmp{arg, SCMP_CMP_MASKED_EQ, 0xffffffffu, value};
}

bool AddRules(scmp_filter_ctx filter) {
  const uint32_t refuse = SCMP_ACT_ERRNO(EPERM);
  for (const char* name : kRefused) {
    int call = seccomp_syscall_resolve_name(name);
    // A call this libseccomp does not know is one this kernel may lack.
    if (call != __NR_SCMP_ERROR && seccomp_rule_add(filter, refuse, call, 0) != 0) return false;
  }
  for (const char* name : kChangeDescriptorFile) {
    int call = seccomp_syscall_resolve_name(name);
    if (call == __NR_SCMP_ERROR) continue;
    for (uint32_t fd = 0; fd <= 2; ++fd) {
      if (seccomp_rule_add(filter, refuse, call, 1, Low32Is(0, fd)) != 0) return false;
    }
  }
  for (unsigned long flag : kNewNamespaces) {
    if (seccomp_rule_add(filter, refuse, SCMP_SYS(clone), 1,
                         scmp_arg_cmp{0, SCMP_CMP_MASKED_EQ, flag, flag}) != 0) {
      return false;
    }
  }
  // clone3 keeps its flags in memory the filter cannot read: it is
  // "unknown", and the C library falls back to clone.
  if (seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) != 0) return false;
  // Characters pushed into a terminal's input would be read by the shell
  // after the run.
  for (unsigned long request :
       {static_cast<unsigned long>(TIOCSTI), static_cast<unsigned long>(TIOCLINUX)}) {
    if (seccomp_rule_add(filter, refuse, SCMP_SYS(ioctl), 1,
                         Low32Is(1, static_cast<uint32_t>(request))) != 0) {
      return false;
    }
  }
  return true;
}

// The filter as the kernel takes it, written by libseccomp into a memory
// file and read back.
std::vector<sock_filter> Export(scmp_filter_ctx filter) {
  std::vector<sock_filter> program;
  int fd = memfd_create("seccomp", MFD_CLOEXEC);
  if (fd < 0) return program;
  if (seccomp_export_bpf(filter, fd) == 0) {
    off_t size = lseek(fd, 0, SEEK_END);
    if (size > 0 && size % static_cast<off_t>(sizeof(sock_filter)) == 0) {
      program.resize(static_cast<size_t>(size) / sizeof(sock_filter));
      if (pread(fd, program.data(), static_cast<size_t>(size), 0) != size) program.clear();
    }
  }
  close(fd);
  return program;
}

}  // namespace

SyscallFilter SyscallFilter::ForChildren() {
  SyscallFilter made;
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (!filter) return made;
  // Set by the child itself, before the filter is loaded.
  seccomp_attr_set(filter, SCMP_FLTATR_CTL_NNP, 0);
  // The calls with arguments to compare (the mode, owner and time of every
  // file tar makes) run the filter each time: a tree of the call numbers,
  // not a list, keeps that short.
  seccomp_attr_set(filter, SCMP_FLTATR_CTL_OPTIMIZE, 2);
  if (AddRules(filter)) made.program_ = Export(filter);
  seccomp_release(filter);
  return made;
}

bool SyscallFilter::ApplyInChild() const noexcept {
  if (program_.empty()) return true;
  sock_fprog prog = {static_cast<unsigned short>(program_.size()),
                     const_cast<sock_filter*>(program_.data())};
  return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog, 0, 0) == 0;
}
