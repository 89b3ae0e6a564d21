#include "hostile/hostile.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>

const std::string kLoadFailed =
    "\nAn error has occured during loading.\nRemove the packages(s) from disk, fix any\n"
    "reported errors, and re-run the install procedure.\n";
const std::string kLoadFinished = "Finished loading package(s)";

HostileMedium::HostileMedium() {
  MakeDirs(cdrom());
  MakeDirs(tmp());
  MakeDirs(staging());
  MakeDirs(root_ / "inst");
  MakeDirs(root_ / "outside");
  inst_ = std::filesystem::canonical(root_ / "inst").string();
  outside_ = std::filesystem::canonical(root_ / "outside").string();
  WriteFile(outside_ + "/marker", "untouched\n");
}

void HostileMedium::Toc(const std::string& text) const { WriteFile(cdrom() + "/01.toc", text); }

void HostileMedium::Stage(const std::string& path, const std::string& content) const {
  std::string full = staging() + "/" + path;
  MakeDirs(std::filesystem::path(full).parent_path());
  WriteFile(full, content);
}

void HostileMedium::Archive(const std::string& code, const std::vector<std::string>& members,
                            const std::string& from) const {
  std::vector<std::string> args = {"cPf", cdrom() + "/" + code + ".tar", "-C",
                                   from.empty() ? staging() : from, "--"};
  args.insert(args.end(), members.begin(), members.end());
  RunResult r = RunBinary("/bin/tar", args, RunOptions{});
  ASSERT_EQ(r.status, 0) << r.err;
}

RunResult HostileMedium::Run(const std::string& option, const std::string& input,
                             const std::map<std::string, std::optional<std::string>>& env) const {
  RunOptions options;
  options.cwd = inst_;
  options.tmpdir = tmp();
  options.input = input;
  options.env = env;
  return RunInstall({option}, options);
}

std::vector<std::string> HostileMedium::OutsideTree() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(outside_)) {
    names.push_back(std::filesystem::relative(entry.path(), outside_).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string AcceptAll(const std::string& cdrom, int categories) {
  return cdrom + "\n\n" + std::string(categories, '\n') + "\n\n";
}

std::vector<std::string> RunEnvironment(const std::string& tmpdir,
                                        const std::map<std::string, std::string>& extra) {
  RunOptions options;
  options.tmpdir = tmpdir;
  for (const auto& [name, value] : extra) options.env[name] = value;
  return BuildEnvironment(options);
}

LiveRun::LiveRun(const std::vector<std::string>& args, const Options& options) {
  int in_pipe[2], out_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) || pipe2(out_pipe, O_CLOEXEC)) throw std::runtime_error("pipe");
  std::vector<std::string> env = RunEnvironment(options.tmpdir, options.env);
  std::vector<std::string> argv_text = {INSTALL_BINARY};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(out_pipe[1], 2);
    // The test runner may have been started with some signals ignored or
    // blocked; the run gets what a terminal gives it.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGPIPE}) signal(sig, SIG_DFL);
    for (int sig : options.ignored_signals) signal(sig, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (options.file_size_limit >= 0) {
      rlimit limit = {static_cast<rlim_t>(options.file_size_limit),
                      static_cast<rlim_t>(options.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  in_ = in_pipe[1];
  out_fd_ = out_pipe[0];
  signal(SIGPIPE, SIG_IGN);
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
    close(out_fd_);
    out_fd_ = -1;
  }
}

bool LiveRun::WaitFor(const std::string& text, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (out_.find(text) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || out_fd_ < 0) return false;
    ReadAvailable(static_cast<int>(left.count()));
  }
  return true;
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
    // Keep the pipe drained so that the run never blocks on its output.
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
  // What is still in the pipe; a child left behind may hold it open.
  for (;;) {
    size_t before = out_.size();
    ReadAvailable(100);
    if (out_fd_ < 0 || out_.size() == before) break;
  }
  return status;
}

std::vector<pid_t> ProcessesMentioning(const std::string& text) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = readdir(proc)) {
    pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0 || pid == getpid()) continue;
    std::string cmdline = ReadFile(std::string("/proc/") + entry->d_name + "/cmdline");
    if (cmdline.find(text) != std::string::npos) found.push_back(pid);
  }
  closedir(proc);
  return found;
}
