// Runs outside programs from argument vectors, never through a shell.
#pragma once

#include <string>
#include <vector>

using Command = std::vector<std::string>;

// Runs the commands as one pipeline (each one's standard output feeds the
// next one's standard input); the last writes to `out_fd`, or to our own
// standard output when it is -1. Programs without a '/' are looked up in
// PATH. Returns true when every command ran and ended with status 0;
// otherwise `why` says which one failed and how.
bool RunPipeline(const std::vector<Command>& commands, int out_fd, std::string& why);
