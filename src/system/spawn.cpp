#include "system/spawn.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "system/interrupts.hpp"

extern char** environ;

namespace {

// A started child, or the reason it did not start.
struct Started {
  pid_t pid = -1;
  int error = 0;
};

// Starts argv with the given descriptors on its standard input and output
// (-1 keeps ours). The child gets default signal handling and an empty
// signal mask, so a closed pipe or the file size limit ends it as it would
// from a terminal (the installer itself ignores both).
Started Start(const std::vector<std::string>& args, int in_fd, int out_fd) {
  Started started;
  if (args.empty()) {
    started.error = EINVAL;
    return started;
  }
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  // dup2 onto the same number would keep a close-on-exec flag; move such a
  // descriptor out of the way first.
  int moved_in = -1;
  if (in_fd == STDIN_FILENO) in_fd = moved_in = fcntl(in_fd, F_DUPFD_CLOEXEC, 3);
  if (in_fd >= 0) posix_spawn_file_actions_adddup2(&actions, in_fd, STDIN_FILENO);
  if (out_fd >= 0) posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);

  sigset_t defaults, empty;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  sigemptyset(&empty);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &empty);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid;
  int error;
  {
    // An interrupt between the start and the note would leave the child
    // unknown to the interrupt handler.
    InterruptsHeld held;
    error = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    if (error == 0) NoteChild(pid);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (moved_in >= 0) close(moved_in);
  if (error != 0) {
    started.error = error;
  } else {
    started.pid = pid;
  }
  return started;
}

ChildEnd Wait(const Started& started) {
  ChildEnd end;
  if (started.pid < 0) {
    end.error = started.error;
    return end;
  }
  end.started = true;
  int status = 0;
  while (waitpid(started.pid, &status, 0) < 0) {
    if (errno != EINTR) {
      end.error = errno;
      return end;
    }
  }
  ForgetChild(started.pid);
  if (WIFEXITED(status)) end.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

}  // namespace

ChildEnd RunCommand(const Command& command) {
  std::fflush(stdout);
  return Wait(Start(command.argv, command.stdin_fd, command.stdout_fd));
}

PipelineEnd RunPipeline(const Command& first, const Command& second) {
  std::fflush(stdout);
  PipelineEnd end;
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    end.first.error = errno;
    return end;
  }
  Started writer = Start(first.argv, first.stdin_fd, pipe_fds[1]);
  close(pipe_fds[1]);
  // A reader that is never started reports no error of its own.
  Started reader;
  if (writer.pid >= 0) reader = Start(second.argv, pipe_fds[0], second.stdout_fd);
  // Only the children hold the pipe now: the writer sees a closed pipe when
  // the reader ends, the reader sees end of input when the writer ends.
  close(pipe_fds[0]);
  end.first = Wait(writer);
  end.second = Wait(reader);
  return end;
}
