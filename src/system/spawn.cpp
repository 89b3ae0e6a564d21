#include "system/spawn.hpp"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "system/interrupts.hpp"
#include "system/sandbox.hpp"

extern char** environ;

namespace {

// A started child, or the reason it did not start.
struct Started {
  pid_t pid = -1;
  int error = 0;
  ChildStep step = ChildStep::kProcess;
};

// What a child that could not run its program tells the installer.
struct Report {
  int step;
  int error;
};

// The signals a child starts with default handling: a closed pipe or the
// file size limit ends it as it would from a terminal (the installer itself
// ignores both), and an interrupt from the keyboard reaches it.
sigset_t DefaultSignals() {
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGXFSZ, SIGINT, SIGQUIT}) sigaddset(&defaults, sig);
  return defaults;
}

std::vector<char*> ArgumentVector(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Puts `fd` on `target` in the child, without its close-on-exec flag.
bool PlaceDescriptor(int fd, int target) {
  if (fd < 0) return true;
  if (fd == target) return fcntl(fd, F_SETFD, 0) == 0;
  return dup2(fd, target) == target;
}

// Marks every descriptor above standard error close-on-exec.
bool CloseOthersAtExec() noexcept {
  return syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0;
}

// The child's side of a start: only calls that are safe after fork (the
// installer may run threads). Reports the errno of a failure through
// `report` and ends.
[[noreturn]] void Child(const Command& command, char* const* argv, char* const* envp, int in_fd,
                        int out_fd, int report) {
  sigset_t defaults = DefaultSignals();
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sigismember(&defaults, sig) == 1) signal(sig, SIG_DFL);
  }
  // The installer's own handlers must not run here; a signal ignored from
  // the start stays ignored, as it does across exec.
  for (int sig : {SIGTERM, SIGHUP}) {
    struct sigaction current;
    if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
      signal(sig, SIG_DFL);
    }
  }
  sigset_t empty;
  sigemptyset(&empty);
  sigprocmask(SIG_SETMASK, &empty, nullptr);
  const Sandbox* sandbox = command.sandbox;
  Report failed = {static_cast<int>(ChildStep::kStreams), 0};
  // Only the three standard descriptors go on: one the installer was
  // started with (a directory, say) would name a place outside.
  bool ok = PlaceDescriptor(in_fd, STDIN_FILENO) && PlaceDescriptor(out_fd, STDOUT_FILENO) &&
            PlaceDescriptor(command.stderr_fd, STDERR_FILENO) && CloseOthersAtExec();
  // In a private root the working directory is named below the
  // installation directory; elsewhere it is the descriptor given.
  if (ok && !(sandbox && sandbox->private_root()) && command.cwd_fd >= 0) {
    failed.step = static_cast<int>(ChildStep::kWorkingDirectory);
    ok = fchdir(command.cwd_fd) == 0;
  }
  if (ok && sandbox) {
    failed.step = static_cast<int>(ChildStep::kConfinement);
    ok = sandbox->private_root() ? sandbox->ApplyInChild(command.cwd_below.c_str(), command.work)
                                 : sandbox->ApplyInChild(nullptr, command.work);
  }
  if (ok) {
    failed.step = static_cast<int>(ChildStep::kProgram);
    execvpe(argv[0], argv, envp);
  }
  failed.error = errno;
  ssize_t ignored = write(report, &failed, sizeof failed);
  (void)ignored;
  _exit(127);
}

// Starts a child through fork and exec, confined (when asked) before its
// program runs. The step that failed and why, or none.
Report Spawn(const Command& command, int in_fd, int out_fd, pid_t& pid) {
  std::vector<char*> argv = ArgumentVector(command.argv);
  std::vector<char*> envp = ArgumentVector(command.environment);
  char* const* env = command.environment.empty() ? environ : envp.data();
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return {static_cast<int>(ChildStep::kProcess), errno};
  pid = fork();
  if (pid < 0) {
    int error = errno;
    close(report[0]);
    close(report[1]);
    return {static_cast<int>(ChildStep::kProcess), error};
  }
  if (pid == 0) Child(command, argv.data(), env, in_fd, out_fd, report[1]);
  close(report[1]);
  // The report pipe closes at exec: nothing read means the program runs.
  Report failed = {0, 0};
  ssize_t got;
  while ((got = read(report[0], &failed, sizeof failed)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got != static_cast<ssize_t>(sizeof failed)) return {0, 0};
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (failed.error == 0) failed.error = EINVAL;
  return failed;
}

// Starts `command` with the given standard input and output (-1 keeps
// ours).
Started Start(const Command& command, int in_fd, int out_fd) {
  Started started;
  if (command.argv.empty()) {
    started.error = EINVAL;
    return started;
  }
  pid_t pid = -1;
  Report failed;
  {
    // An interrupt between the start and the note would leave the child
    // unknown to the interrupt handler.
    InterruptsHeld held;
    failed = Spawn(command, in_fd, out_fd, pid);
    if (failed.error == 0) NoteChild(pid);
  }
  // Work done ahead yields the processor to the work the run waits for.
  if (failed.error == 0 && command.niceness != 0) {
    setpriority(PRIO_PROCESS, pid, command.niceness);
  }
  if (failed.error != 0) {
    started.error = failed.error;
    started.step = static_cast<ChildStep>(failed.step);
  } else {
    started.pid = pid;
  }
  return started;
}

ChildEnd Wait(const Started& started) {
  ChildEnd end;
  if (started.pid < 0) {
    end.error = started.error;
    end.step = started.step;
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

// Waits for every started child, calling `tick` every tenth of a second
// until all have ended. A kernel without process descriptors waits
// without ticks.
std::vector<ChildEnd> WaitAll(const std::vector<Started>& children, const WaitTick& tick) {
  std::vector<ChildEnd> ends(children.size());
  std::vector<int> pidfds(children.size(), -1);
  bool watching = static_cast<bool>(tick);
  for (size_t i = 0; i < children.size() && watching; ++i) {
    if (children[i].pid < 0) continue;
    pidfds[i] = static_cast<int>(syscall(SYS_pidfd_open, children[i].pid, 0));
    watching = pidfds[i] >= 0;
  }
  while (watching) {
    std::vector<pollfd> polled;
    std::vector<pid_t> running;
    for (size_t i = 0; i < children.size(); ++i) {
      if (pidfds[i] < 0) continue;
      polled.push_back({pidfds[i], POLLIN, 0});
      running.push_back(children[i].pid);
    }
    if (polled.empty()) break;
    int ready = poll(polled.data(), polled.size(), 100);
    if (ready == 0) tick(running);
    if (ready <= 0) continue;
    for (size_t i = 0; i < children.size(); ++i) {
      for (const pollfd& p : polled) {
        if (p.fd == pidfds[i] && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
          close(pidfds[i]);
          pidfds[i] = -1;
          ends[i] = Wait(children[i]);
        }
      }
    }
  }
  for (size_t i = 0; i < children.size(); ++i) {
    if (pidfds[i] >= 0) close(pidfds[i]);
    if (!ends[i].started && ends[i].error == 0) ends[i] = Wait(children[i]);
  }
  return ends;
}

// Starts `commands` as one pipe, each writing into the next one's standard
// input; the last writes to `last_out` (-1: the installer's own). When one
// cannot be started, those after it are not started either (and report no
// error of their own).
std::vector<Started> StartChain(const std::vector<const Command*>& commands, int last_out) {
  std::vector<Started> started(commands.size());
  int in_fd = commands[0]->stdin_fd;
  for (size_t i = 0; i < commands.size(); ++i) {
    bool last = i + 1 == commands.size();
    int pipe_fds[2] = {-1, -1};
    if (!last && pipe2(pipe_fds, O_CLOEXEC) != 0) {
      started[i].error = errno;
      break;
    }
    started[i] = Start(*commands[i], in_fd, last ? last_out : pipe_fds[1]);
    // Only the children hold the pipes now: a writer sees a closed pipe when
    // its reader ends, a reader sees end of input when its writer ends.
    if (i > 0) close(in_fd);
    if (!last) close(pipe_fds[1]);
    in_fd = pipe_fds[0];
    if (started[i].pid < 0) {
      if (in_fd >= 0) close(in_fd);
      break;
    }
  }
  return started;
}

}  // namespace

ChildEnd RunCommand(const Command& command, const WaitTick& tick) {
  std::fflush(stdout);
  return WaitAll(StartChain({&command}, command.stdout_fd), tick)[0];
}

PipelineEnd RunPipeline(const Command& first, const Command& second, const WaitTick& tick) {
  std::fflush(stdout);
  std::vector<ChildEnd> ends = WaitAll(StartChain({&first, &second}, second.stdout_fd), tick);
  return {ends[0], ends[1]};
}

std::vector<ChildEnd> RunTogether(const std::vector<const Command*>& commands,
                                  const std::function<void()>& meanwhile) {
  std::fflush(stdout);
  std::vector<Started> started;
  for (const Command* command : commands) {
    started.push_back(Start(*command, command->stdin_fd, command->stdout_fd));
  }
  if (meanwhile) meanwhile();
  return WaitAll(started, nullptr);
}

std::string DescribeEnd(const std::string& program, const ChildEnd& end) {
  if (!end.started) {
    static const char* const kSteps[] = {"no process", "its standard streams", "its confinement",
                                         "its working directory", "the program"};
    return program + ": could not be started (" + kSteps[static_cast<int>(end.step)] +
           "): " + std::strerror(end.error != 0 ? end.error : EINVAL);
  }
  if (end.signal != 0) return program + ": killed by signal " + std::to_string(end.signal);
  if (end.exit_status != 0)
    return program + ": ended with status " + std::to_string(end.exit_status);
  return "";
}
