// Runs one program and reports its wall time and peak memory, so that the
// installer and the plain tool it is compared with are timed the same way.
//
//   benchrun [-i IN] [-o OUT] [-e ERR] [-C DIR] -- PROGRAM ARG...
//
// IN, OUT and ERR default to /dev/null. Prints one line:
//   SECONDS PEAK_KB STATUS
// SECONDS is the wall time from just before the start to the end;
// PEAK_KB is the largest resident set of the program or of any child it
// waited for (getrusage through wait4); STATUS is the exit status, or 128
// plus the signal that ended it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void Redirect(const char* path, int flags, int target) {
  int fd = open(path, flags, 0644);
  if (fd < 0) {
    std::perror(path);
    _exit(126);
  }
  dup2(fd, target);
  close(fd);
}

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  const char* in = "/dev/null";
  const char* out = "/dev/null";
  const char* err = "/dev/null";
  const char* dir = nullptr;
  int i = 1;
  for (; i + 1 < argc && std::strcmp(argv[i], "--") != 0; i += 2) {
    if (!std::strcmp(argv[i], "-i"))
      in = argv[i + 1];
    else if (!std::strcmp(argv[i], "-o"))
      out = argv[i + 1];
    else if (!std::strcmp(argv[i], "-e"))
      err = argv[i + 1];
    else if (!std::strcmp(argv[i], "-C"))
      dir = argv[i + 1];
    else
      break;
  }
  if (i >= argc || std::strcmp(argv[i], "--") != 0 || i + 1 >= argc) {
    std::fprintf(stderr, "usage: benchrun [-i IN] [-o OUT] [-e ERR] [-C DIR] -- PROGRAM ARG...\n");
    return 2;
  }
  char** command = argv + i + 1;
  double start = Now();
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    return 1;
  }
  if (pid == 0) {
    if (dir && chdir(dir) != 0) {
      std::perror(dir);
      _exit(126);
    }
    Redirect(in, O_RDONLY, 0);
    Redirect(out, O_WRONLY | O_CREAT | O_TRUNC, 1);
    Redirect(err, O_WRONLY | O_CREAT | O_APPEND, 2);
    execvp(command[0], command);
    std::perror(command[0]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
  }
  double seconds = Now() - start;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.6f %ld %d\n", seconds, usage.ru_maxrss, code);
  return 0;
}
