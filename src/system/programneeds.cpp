#include "system/programneeds.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Why `program` cannot be run; empty when it can.
std::string WhyNotRunnable(const std::string& program) {
  struct stat st;
  if (stat(program.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (access(program.c_str(), X_OK) != 0) return std::strerror(errno);
  return "";
}

// The interpreter a script names on its first line ("#!/bin/sh"); empty
// for a program that is no script, or that cannot be read.
std::string InterpreterOf(const std::string& program) {
  int fd = open(program.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  char head[256];
  ssize_t got = read(fd, head, sizeof head - 1);
  close(fd);
  if (got < 3 || head[0] != '#' || head[1] != '!') return "";
  std::string line(head + 2, static_cast<size_t>(got) - 2);
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  size_t end = line.find_first_of(" \t\n", start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::vector<std::string> LackedNeeds(const Programs& programs, const Needs& needs) {
  std::vector<std::string> lacked;
  auto program = [&](const std::string& path, const char* what) {
    if (std::string why = WhyNotRunnable(path); !why.empty()) {
      lacked.push_back(path + ": " + why + ": " + what);
    }
  };
  if (needs.tar) program(programs.tar, "a load needs tar there (GNU tar 1.29 or later)");
  if (needs.rm) program(programs.rm, "a removal needs rm there");
  if (!programs.gunzip.empty()) {
    program(programs.gunzip, "compressed archives need gunzip");
    std::string interpreter = InterpreterOf(programs.gunzip);
    if (!interpreter.empty()) {
      if (std::string why = WhyNotRunnable(interpreter); !why.empty()) {
        lacked.push_back(programs.gunzip + ": a script for " + interpreter +
                         ", which cannot run (" + why + "): provide " + interpreter +
                         ", or a gunzip program earlier on PATH");
      }
    }
  }
  struct stat st;
  if (needs.dev_fd && stat("/dev/fd/0", &st) != 0) {
    lacked.push_back("/dev/fd/0: " + std::string(std::strerror(errno)) +
                     ": tar reads each archive there; mount /proc (with /dev/fd a link to "
                     "/proc/self/fd), or let tar run in a private root");
  }
  return lacked;
}
