// Distributions whose table of contents and archives a test writes itself,
// and a run of the installer that a test can watch and interrupt.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/runbinary.hpp"
#include "support/tempdir.hpp"

// root/cdrom (the distribution), root/inst (the installation directory and
// the directory the installer starts in), root/tmp (its TMPDIR),
// root/staging (what archives are made from) and root/outside (a directory
// that no run may touch; it holds the file "marker").
class HostileMedium {
 public:
  HostileMedium();

  std::string root() const { return root_.path(); }
  std::string cdrom() const { return root_ / "cdrom"; }
  std::string inst() const { return inst_; }
  std::string tmp() const { return root_ / "tmp"; }
  std::string staging() const { return root_ / "staging"; }
  std::string outside() const { return outside_; }

  // Writes the table of contents (cdrom/01.toc).
  void Toc(const std::string& text) const;
  // A file in the staging tree, with directories as needed.
  void Stage(const std::string& path, const std::string& content) const;
  // cdrom/<code>.tar from members of `from` (default: the staging tree),
  // names kept as given (a leading '/' or ".." included).
  void Archive(const std::string& code, const std::vector<std::string>& members,
               const std::string& from = "") const;

  // Runs the installer in the installation directory.
  RunResult Run(const std::string& option, const std::string& input,
                const std::map<std::string, std::optional<std::string>>& env = {}) const;

  // Everything below root/outside, sorted.
  std::vector<std::string> OutsideTree() const;

 private:
  TempDir root_;
  std::string inst_;
  std::string outside_;
};

// The answers of a load that takes every default: mount point, installation
// directory, `categories` package questions, confirmation, list-files.
std::string AcceptAll(const std::string& cdrom, int categories = 1);

// The three lines of the failed-load message and the finished-load message.
extern const std::string kLoadFailed;
extern const std::string kLoadFinished;

// A run that the test watches while it goes on: standard input and output
// are pipes, signal handling is the default whatever the test runner has.
class LiveRun {
 public:
  struct Options {
    std::string cwd;
    std::string tmpdir;
    std::map<std::string, std::string> env;
    std::vector<int> ignored_signals;  // set to SIG_IGN in the child
    long long file_size_limit = -1;    // RLIMIT_FSIZE in bytes, if set
  };
  LiveRun(const std::vector<std::string>& args, const Options& options);
  ~LiveRun();
  LiveRun(const LiveRun&) = delete;
  LiveRun& operator=(const LiveRun&) = delete;

  // Reads output until it holds `text` (counted from the start of the run);
  // false when it does not come within the timeout.
  bool WaitFor(const std::string& text, int timeout_ms = 10000);
  void Write(const std::string& text);
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
  bool reaped_ = false;
};

// The environment of a test run: this process's own without LANG, LC_ALL
// and ZULPWD, TMPDIR set, and `extra` on top.
std::vector<std::string> RunEnvironment(const std::string& tmpdir,
                                        const std::map<std::string, std::string>& extra);

// Processes whose command line mentions `text` (a test's private path).
std::vector<pid_t> ProcessesMentioning(const std::string& text);
