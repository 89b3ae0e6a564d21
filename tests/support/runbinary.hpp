// Runs a built program with given arguments, standard input, environment
// and working directory, and collects what it printed and how it ended.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when killed by a signal
  int signal = 0;   // the signal that ended it, if any
};

struct RunOptions {
  std::string cwd;                                  // empty: the current one
  std::optional<std::string> input;                 // empty: standard input closed
  std::map<std::string, std::optional<std::string>> env;  // nullopt unsets
  std::string tmpdir;                               // TMPDIR for the run, if set
};

// The environment of a run: ours without LANG, LC_ALL and ZULPWD (runs are
// in English unless a test asks otherwise), then TMPDIR and the options' own.
std::vector<std::string> BuildEnvironment(const RunOptions& options);

RunResult RunBinary(const std::string& program, const std::vector<std::string>& args,
                    const RunOptions& options);

// The installer built with the tests.
RunResult RunInstall(const std::vector<std::string>& args, const RunOptions& options);

// Names in `dir`, for checking that no working file is left.
std::vector<std::string> ListDir(const std::string& dir);
