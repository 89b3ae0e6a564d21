// Runs a built program as its own process: either to its end, with a
// prepared standard input and what it printed collected, or live, watched
// and answered while it goes on (through pipes or on a pseudo-terminal).
// Every run gets the same environment and the signal handling a terminal
// gives, whatever the test runner was started with.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct RunOptions {
  std::string cwd;                                        // empty: the current one
  std::optional<std::string> input;                       // RunBinary: empty closes standard input
  std::map<std::string, std::optional<std::string>> env;  // nullopt unsets
  std::string tmpdir;                                     // TMPDIR for the run, if set
  std::vector<int> ignored_signals;                       // set to SIG_IGN in the child
  long long file_size_limit = -1;                         // RLIMIT_FSIZE in bytes, if set
  bool as_other_user = false;                             // run as kOtherUser (root only)
  std::string program;                                    // LiveRun: empty, the installer built
};

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;   // exit status, or -1 when killed by a signal
  int signal = 0;    // the signal that ended it, if any
  long peak_kb = 0;  // the largest resident set of the run (RunBinary)
};

// The environment of a run: ours without LANG, LC_ALL and ZULPWD (runs are
// in English unless a test asks otherwise), then TMPDIR and the options' own.
std::vector<std::string> BuildEnvironment(const RunOptions& options);

// Runs `program` to its end.
RunResult RunBinary(const std::string& program, const std::vector<std::string>& args,
                    const RunOptions& options);

// The installer built with the tests, run to its end.
RunResult RunInstall(const std::vector<std::string>& args, const RunOptions& options);

// A run of the installer that the test watches while it goes on. Standard
// output and standard error come together.
class LiveRun {
 public:
  enum Console {
    kPipes,     // standard input and output are pipes
    kTerminal,  // a new pseudo-terminal, where standard output is line-buffered
  };
  LiveRun(const std::vector<std::string>& args, const RunOptions& options,
          Console console = kPipes);
  ~LiveRun();
  LiveRun(const LiveRun&) = delete;
  LiveRun& operator=(const LiveRun&) = delete;

  // Reads output until `text` appears after what earlier calls matched;
  // false when it does not come within the timeout.
  bool WaitFor(const std::string& text, int timeout_ms = 10000);
  void Write(const std::string& text);
  // End of input (pipes only: a terminal has no end of input).
  void CloseInput();
  void Signal(int sig);
  // Waits for the end (killing the run after the timeout, so that no test
  // hangs); the raw wait status, or -1 when it had to be killed.
  int Wait(int timeout_ms = 20000);

  pid_t pid() const { return pid_; }
  const std::string& out() const { return out_; }

 private:
  void ReadAvailable(int timeout_ms);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_fd_ = -1;
  std::string out_;
  size_t matched_ = 0;
  bool reaped_ = false;
};

// The processes whose parent is `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent);

// The other user of the attacks: "nobody". Runs `attack` in a child that
// has given up root for that user and returns its exit status (-1 when it
// did not exit). Only root can do this; tests check RunningAsRoot() first.
bool RunningAsRoot();
int AsOtherUser(const std::function<int()>& attack);
// The same, left running in the background; the caller waits for it.
pid_t StartAsOtherUser(const std::function<int()>& attack);
constexpr uid_t kOtherUser = 65534;
