#include "system/interrupts.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "system/jobs.hpp"

namespace {

// A load runs at most kMostJobs extractions of two children each, and the
// listing of the next archive.
constexpr int kMaxChildren = 2 * kMostJobs + 2;
volatile sig_atomic_t children[kMaxChildren];

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// What the handler does before the run ends: removing the working files,
// erasing a progress line.
constexpr int kMostCleanups = 6;
void (*volatile cleanups[kMostCleanups])() = {};

void OnInterrupt(int sig) {
  int saved = errno;
  for (int i = 0; i < kMostCleanups; ++i) {
    if (void (*routine)() = cleanups[i]) routine();
  }
  for (int i = 0; i < kMaxChildren; ++i) {
    pid_t pid = children[i];
    if (pid <= 0) continue;
    kill(pid, sig);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    children[i] = 0;
  }
  signal(sig, SIG_DFL);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, sig);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(sig);
  errno = saved;
}

sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kSignals) sigaddset(&set, sig);
  return set;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  action.sa_mask = InterruptSet();
  for (int sig : kSignals) {
    // A signal ignored from the start (a run under nohup, or started in the
    // background by a shell) stays ignored, as the caller asked.
    struct sigaction before;
    if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(sig, &action, nullptr);
  }
}

void AddInterruptCleanup(void (*routine)()) {
  InterruptsHeld held;
  for (int i = 0; i < kMostCleanups; ++i) {
    if (cleanups[i] == routine) return;
  }
  for (int i = 0; i < kMostCleanups; ++i) {
    if (!cleanups[i]) {
      cleanups[i] = routine;
      return;
    }
  }
}

void RemoveInterruptCleanup(void (*routine)()) {
  InterruptsHeld held;
  for (int i = 0; i < kMostCleanups; ++i) {
    if (cleanups[i] == routine) cleanups[i] = nullptr;
  }
}

InterruptsHeld::InterruptsHeld() {
  sigset_t set = InterruptSet();
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

InterruptsHeld::~InterruptsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

void NoteChild(pid_t pid) {
  // Two threads may start children at once: a slot is taken atomically.
  for (int i = 0; i < kMaxChildren; ++i) {
    if (__sync_bool_compare_and_swap(&children[i], 0, pid)) return;
  }
}

void ForgetChild(pid_t pid) {
  for (int i = 0; i < kMaxChildren; ++i) {
    if (children[i] == pid) children[i] = 0;
  }
}
