// A whole run on a pseudo-terminal, where standard output is line-buffered:
// every prompt must be on the screen before the program waits for its
// answer, or the operator would type blind.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "dialogue/medium.hpp"
#include "hostile/hostile.hpp"

namespace {

class Terminal {
 public:
  Terminal(const std::string& cwd, const std::vector<std::string>& env) {
    std::vector<std::string> text = {INSTALL_BINARY, "-load"};
    std::vector<char*> argv, envp;
    for (std::string& a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_copy = env;
    for (std::string& e : env_copy) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_DFL);
      if (chdir(cwd.c_str()) != 0) _exit(126);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  }

  ~Terminal() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  bool started() const { return pid_ > 0; }

  // Reads until `prompt` appears after what earlier calls matched; false
  // when it does not appear within five seconds.
  bool Await(const std::string& prompt) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      size_t at = screen_.find(prompt, matched_);
      if (at != std::string::npos) {
        matched_ = at + prompt.size();
        return true;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !Read(static_cast<int>(left.count()))) return false;
    }
  }

  void Type(const std::string& answer) {
    std::string line = answer + "\n";
    ASSERT_EQ(write(master_, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }

  // Reads to the end of the run and gives its wait status (-1 when it had
  // to be killed).
  int Finish() {
    while (Read(5000)) {
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reaped_ = true;
    return status;
  }

  const std::string& screen() const { return screen_; }

 private:
  // False at the end of the output or when nothing came in time.
  bool Read(int timeout_ms) {
    pollfd fd = {master_, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0) return false;
    char buffer[4096];
    ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) return false;  // EIO once the program has closed the terminal
    screen_.append(buffer, static_cast<size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  bool reaped_ = false;
  std::string screen_;
  size_t matched_ = 0;
};

}  // namespace

TEST(RealTerminal, EveryPromptIsVisibleBeforeTheProgramWaits) {
  Medium m;
  WriteFile(m.inst() + "/de.nls", "67,Lesbar?\n");
  Terminal terminal(m.inst(), RunEnvironment(m.tmp(), {{"LANG", "de_DE"}}));
  ASSERT_TRUE(terminal.started());
  const std::pair<std::string, std::string> steps[] = {
      {"Is the previous statement legible in your native language? [yes] ", "n"},
      {"Enter CD-ROM mount point: [/mnt/cdrom] ", "?"},
      {"Enter CD-ROM mount point: [/mnt/cdrom] ", m.cdrom()},
      {"Enter pathname to install directory: [" + m.inst() + "] ", ""},
      {"Package numbers to load: [all] ", "?"},
      {"Package numbers to load: [all] ", ""},
      {"Package numbers to load: [all] ", ""},
      {"Is this correct? [yes] ", "q"},
      {"Are you sure you want to quit? [yes] ", "n"},
      {"Is this correct? [yes] ", ""},
      {"List file names while loading? [no] ", "y"},
  };
  for (const auto& [prompt, answer] : steps) {
    ASSERT_TRUE(terminal.Await(prompt)) << "never shown: " << prompt << "\n" << terminal.screen();
    terminal.Type(answer);
  }
  EXPECT_TRUE(terminal.Await("Finished loading package(s)")) << terminal.screen();
  EXPECT_TRUE(terminal.Await("Exiting..."));
  int status = terminal.Finish();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(m.inst() + "/tools/a.txt"), "content of tools/a.txt\n");
  EXPECT_TRUE(ListDir(m.tmp()).empty());
}
