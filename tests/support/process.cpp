#include "support/process.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "support/tempdir.hpp"

extern char** environ;

namespace {

// The argument vector and environment of a child, made before the fork so
// that the child has only to put them in place.
class ChildImage {
 public:
  ChildImage(const std::string& program, const std::vector<std::string>& args,
             const RunOptions& options)
      : options_(options), args_{program}, env_(BuildEnvironment(options)) {
    args_.insert(args_.end(), args.begin(), args.end());
    for (std::string& a : args_) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    for (std::string& e : env_) envp_.push_back(e.data());
    envp_.push_back(nullptr);
  }

  // In the child, with its standard streams in place. The test runner may
  // have been started with some signals ignored or blocked; the run gets
  // what a terminal gives it, then what the options ask for.
  [[noreturn]] void Exec() const {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGPIPE}) signal(sig, SIG_DFL);
    for (int sig : options_.ignored_signals) signal(sig, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (options_.file_size_limit >= 0) {
      rlimit limit = {static_cast<rlim_t>(options_.file_size_limit),
                      static_cast<rlim_t>(options_.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (!options_.cwd.empty() && chdir(options_.cwd.c_str()) != 0) _exit(126);
    if (options_.as_other_user &&
        (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0)) {
      _exit(125);
    }
    execve(argv_[0], argv_.data(), envp_.data());
    _exit(127);
  }

 private:
  const RunOptions& options_;
  std::vector<std::string> args_;
  std::vector<std::string> env_;
  std::vector<char*> argv_;
  std::vector<char*> envp_;
};

// Starts `image` with `in`, `out` and `err` as its standard streams. The
// pipes are made close-on-exec, so the child keeps only these three.
pid_t StartWithPipes(const ChildImage& image, int in, int out, int err) {
  // A run that ends early must not end the test with it.
  signal(SIGPIPE, SIG_IGN);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    image.Exec();
  }
  return pid;
}

void MakePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
}

}  // namespace

std::vector<std::string> BuildEnvironment(const RunOptions& options) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  env.erase("LANG");
  env.erase("LC_ALL");
  env.erase("ZULPWD");
  if (!options.tmpdir.empty()) env["TMPDIR"] = options.tmpdir;
  for (const auto& [name, value] : options.env) {
    if (value) {
      env[name] = *value;
    } else {
      env.erase(name);
    }
  }
  std::vector<std::string> out;
  for (const auto& [name, value] : env) out.push_back(name + "=" + value);
  return out;
}

RunResult RunBinary(const std::string& program, const std::vector<std::string>& args,
                    const RunOptions& options) {
  ChildImage image(program, args, options);
  int in_pipe[2], out_pipe[2], err_pipe[2];
  MakePipe(in_pipe);
  MakePipe(out_pipe);
  MakePipe(err_pipe);
  pid_t pid = StartWithPipes(image, in_pipe[0], out_pipe[1], err_pipe[1]);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  std::string input = options.input.value_or("");
  size_t written = 0;
  if (input.empty()) {
    close(in_pipe[1]);
    in_pipe[1] = -1;
  } else {
    fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
  }
  RunResult result;
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    pollfd fds[3];
    int n = 0;
    if (out_open) fds[n++] = {out_pipe[0], POLLIN, 0};
    if (err_open) fds[n++] = {err_pipe[0], POLLIN, 0};
    if (in_pipe[1] >= 0) fds[n++] = {in_pipe[1], POLLOUT, 0};
    if (poll(fds, n, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      if (!fds[i].revents) continue;
      if (fds[i].fd == in_pipe[1]) {
        ssize_t w = write(in_pipe[1], input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 || written == input.size()) {
          close(in_pipe[1]);
          in_pipe[1] = -1;
        }
        continue;
      }
      char buffer[65536];
      ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
      std::string& target = fds[i].fd == out_pipe[0] ? result.out : result.err;
      if (r > 0) {
        target.append(buffer, static_cast<size_t>(r));
      } else {
        (fds[i].fd == out_pipe[0] ? out_open : err_open) = false;
      }
    }
  }
  if (in_pipe[1] >= 0) close(in_pipe[1]);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  rusage usage = {};
  wait4(pid, &status, 0, &usage);
  result.peak_kb = usage.ru_maxrss;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

RunResult RunInstall(const std::vector<std::string>& args, const RunOptions& options) {
  return RunBinary(INSTALL_BINARY, args, options);
}

LiveRun::LiveRun(const std::vector<std::string>& args, const RunOptions& options, Console console) {
  ChildImage image(options.program.empty() ? INSTALL_BINARY : options.program, args, options);
  if (console == kTerminal) {
    signal(SIGPIPE, SIG_IGN);
    int terminal = -1;
    pid_ = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid_ < 0) throw std::runtime_error("forkpty");
    if (pid_ == 0) {
      // What the test types is not echoed: the screen holds what the
      // installer printed, whenever the answers arrive.
      termios settings;
      if (tcgetattr(STDIN_FILENO, &settings) == 0) {
        settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &settings);
      }
      image.Exec();
    }
    fcntl(terminal, F_SETFD, FD_CLOEXEC);
    out_fd_ = terminal;
    in_ = fcntl(terminal, F_DUPFD_CLOEXEC, 0);
    return;
  }
  int in_pipe[2], out_pipe[2];
  MakePipe(in_pipe);
  MakePipe(out_pipe);
  pid_ = StartWithPipes(image, in_pipe[0], out_pipe[1], out_pipe[1]);
  close(in_pipe[0]);
  close(out_pipe[1]);
  in_ = in_pipe[1];
  out_fd_ = out_pipe[0];
}

LiveRun::~LiveRun() {
  if (!reaped_) Wait(0);
  if (in_ >= 0) close(in_);
  if (out_fd_ >= 0) close(out_fd_);
}

void LiveRun::ReadAvailable(int timeout_ms) {
  if (out_fd_ < 0) return;
  pollfd fd = {out_fd_, POLLIN, 0};
  if (poll(&fd, 1, timeout_ms) <= 0) return;
  char buffer[65536];
  ssize_t got = read(out_fd_, buffer, sizeof buffer);
  if (got > 0) {
    out_.append(buffer, static_cast<size_t>(got));
  } else if (got == 0 || errno != EINTR) {
    // The end of a pipe; EIO once the program has closed its terminal.
    close(out_fd_);
    out_fd_ = -1;
  }
}

bool LiveRun::WaitFor(const std::string& text, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    size_t at = out_.find(text, matched_);
    if (at != std::string::npos) {
      matched_ = at + text.size();
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || out_fd_ < 0) return false;
    ReadAvailable(static_cast<int>(left.count()));
  }
}

void LiveRun::Write(const std::string& text) {
  if (in_ >= 0 && write(in_, text.data(), text.size()) < 0) CloseInput();
}

void LiveRun::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

void LiveRun::Signal(int sig) { kill(pid_, sig); }

int LiveRun::Wait(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    // Keep the output drained so that the run never blocks on it.
    ReadAvailable(10);
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      reaped_ = true;
      return -1;
    }
  }
  reaped_ = true;
  // What is still to be read; a child left behind may hold it open.
  for (;;) {
    size_t before = out_.size();
    ReadAvailable(100);
    if (out_fd_ < 0 || out_.size() == before) break;
  }
  return status;
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = readdir(proc)) {
    pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    // "PID (NAME) STATE PPID ...": the name may hold blanks, not a ')'
    // followed by the state.
    std::string stat = ReadFile(std::string("/proc/") + entry->d_name + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %*c %d", &ppid) == 1 && ppid == parent) {
      found.push_back(pid);
    }
  }
  closedir(proc);
  return found;
}

bool RunningAsRoot() { return geteuid() == 0; }

pid_t StartAsOtherUser(const std::function<int()>& attack) {
  pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) {
      _exit(120);
    }
    _exit(attack());
  }
  return child;
}

int AsOtherUser(const std::function<int()>& attack) {
  pid_t child = StartAsOtherUser(attack);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
