// An interrupted run (SIGINT, SIGTERM, SIGHUP) runs the registered cleanups,
// waits for the child it is running and then ends by the same signal, so
// that a calling shell sees an interrupted run.
#pragma once

#include <signal.h>
#include <sys/types.h>

void InstallInterruptHandlers();

// Routines the handler calls first, in the order added (each must be safe
// in a signal handler): the removal of the working files, the erasing of a
// progress line. Adding one twice adds it once.
void AddInterruptCleanup(void (*routine)());
void RemoveInterruptCleanup(void (*routine)());

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
