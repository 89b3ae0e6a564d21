// The one way the installer starts outside programs: from an argument
// vector, never through a shell, optionally piping one into another.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

class Sandbox;

// What a confined child does, and so the powers it keeps: tar extracting
// (writes beneath the installation directory), rm removing there, tar
// listing (reads its archive, which it opens again by name), or a filter
// that reads its input and writes its output and nothing else (gunzip).
enum class ChildWork { kExtract, kRemove, kRead, kFilter };

struct Command {
  // argv[0] is the program: the installer's children by absolute path;
  // without a slash (the tools) it is looked up through PATH.
  std::vector<std::string> argv;
  // The child's standard input; -1 keeps the installer's own.
  int stdin_fd = -1;
  // The child's standard output; -1 keeps the installer's own. The first
  // command of a pipeline always writes into the pipe.
  int stdout_fd = -1;
  // The child's standard error; -1 keeps the installer's own.
  int stderr_fd = -1;
  // The child's working directory, open as this descriptor; -1 keeps ours.
  int cwd_fd = -1;
  // Kernel confinement applied in the child before its program runs; none
  // when null or not active. In a private root the working directory is
  // named instead, below the installation directory (a descriptor of the
  // installer's would lead out of it).
  const Sandbox* sandbox = nullptr;
  std::string cwd_below = {};
  ChildWork work = ChildWork::kExtract;
  // The child's whole environment, "NAME=value" each; empty keeps ours.
  std::vector<std::string> environment = {};
  // Added to the child's nice value: above 0 for work done ahead of need.
  int niceness = 0;
};

// The step of a child's start that failed.
enum class ChildStep {
  kProcess,           // the process could not be made
  kStreams,           // its standard input, output or error
  kConfinement,       // its private root, Landlock, capabilities or filter
  kWorkingDirectory,  // the directory it works in
  kProgram,           // the program itself
};

// How one child ended.
struct ChildEnd {
  bool started = false;                  // false: it could not be created or its program not run
  int error = 0;                         // the errno of that failure
  ChildStep step = ChildStep::kProcess;  // where the start failed
  int exit_status = -1;                  // when it exited
  int signal = 0;                        // when a signal killed it

  bool Succeeded() const { return started && signal == 0 && exit_status == 0; }
};

// What went wrong with `program`, in one line without its end: the step of
// its start that failed and why, the signal that ended it, or its status;
// empty when it ran and ended with status 0. The one description of a
// failed child, for every caller.
std::string DescribeEnd(const std::string& program, const ChildEnd& end);

// Called about ten times a second while children run, with their process
// ids, for a caller that watches them (a progress line).
using WaitTick = std::function<void(const std::vector<pid_t>& running)>;

// Runs `command` and waits for it, calling `tick` meanwhile when given.
// Standard output is flushed first, so the child's output follows ours.
ChildEnd RunCommand(const Command& command, const WaitTick& tick = nullptr);

struct PipelineEnd {
  ChildEnd first;
  ChildEnd second;
};

// Runs `first` with its standard output piped into the standard input of
// `second`, and waits for both. When `first` cannot be started, `second` is
// not started either.
PipelineEnd RunPipeline(const Command& first, const Command& second,
                        const WaitTick& tick = nullptr);

// Starts each of `commands` on its own (its standard input and output as it
// says), runs `meanwhile` here, and waits for all of them. One that cannot
// be started does not keep the others from starting.
std::vector<ChildEnd> RunTogether(const std::vector<const Command*>& commands,
                                  const std::function<void()>& meanwhile = nullptr);
