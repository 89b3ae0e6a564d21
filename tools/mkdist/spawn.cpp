#include "spawn.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

std::string Describe(const Command& command, int status) {
  if (WIFEXITED(status)) {
    return command[0] + " ended with status " + std::to_string(WEXITSTATUS(status));
  }
  if (WIFSIGNALED(status)) {
    return command[0] + " was killed by signal " + std::to_string(WTERMSIG(status));
  }
  return command[0] + " ended abnormally";
}

// Starts one command with the given standard input and output (-1 keeps
// ours). Every descriptor we open is close-on-exec, so the child holds only
// the ends it is given.
pid_t Start(const Command& command, int in_fd, int out_fd, std::string& why) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (in_fd >= 0) posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
  if (out_fd >= 0) posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    why = "cannot start " + command[0] + ": " + std::strerror(error);
    return -1;
  }
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

}  // namespace

bool RunPipeline(const std::vector<Command>& commands, int out_fd, std::string& why) {
  std::vector<pid_t> pids;
  bool ok = true;
  int in_fd = -1;
  for (size_t i = 0; i < commands.size() && ok; ++i) {
    int ends[2] = {-1, -1};
    bool last = i + 1 == commands.size();
    if (!last && pipe2(ends, O_CLOEXEC) != 0) {
      why = std::string("pipe: ") + std::strerror(errno);
      ok = false;
      break;
    }
    pid_t pid = Start(commands[i], in_fd, last ? out_fd : ends[1], why);
    if (pid < 0) {
      ok = false;
    } else {
      pids.push_back(pid);
    }
    if (in_fd >= 0) close(in_fd);
    if (!last) close(ends[1]);
    in_fd = ends[0];
  }
  // A stage that did not start leaves its writer to end on a closed pipe.
  if (in_fd >= 0) close(in_fd);

  for (size_t i = 0; i < pids.size(); ++i) {
    int status = WaitFor(pids[i]);
    if (status != 0 && ok) {
      why = Describe(commands[i], status);
      ok = false;
    }
  }
  return ok;
}
