// An interrupted run (SIGINT, SIGTERM, SIGHUP) runs the registered cleanup,
// waits for the child it is running and then ends by the same signal, so
// that a calling shell sees an interrupted run.
#pragma once

#include <signal.h>
#include <sys/types.h>

void InstallInterruptHandlers();

// The routine the handler calls first (it must be safe in a signal handler):
// the working files register their removal here.
void SetInterruptCleanup(void (*routine)());

// Blocks the three signals while a child is being started and recorded, so
// that no child escapes the handler. Unblocked by the destructor.
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
};

// The children the handler must pass the signal to and wait for.
void NoteChild(pid_t pid);
void ForgetChild(pid_t pid);
