#include "common/answerline.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "common/textfile.hpp"

namespace {

int record_fd = -1;

// Appends the line as read, with a line end when it had none (the last line
// of the input). A record that cannot be written is given up, once said.
void Record(const char* line, size_t length) {
  if (record_fd < 0) return;
  std::string copy(line, length);
  if (copy.empty() || copy.back() != '\n') copy += '\n';
  for (size_t put = 0; put < copy.size();) {
    ssize_t n = write(record_fd, copy.data() + put, copy.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::fflush(stdout);
      std::perror("install: recording the answers");
      close(record_fd);
      record_fd = -1;
      return;
    }
    put += static_cast<size_t>(n);
  }
}

}  // namespace

bool RecordAnswersIn(const std::string& path) {
  int fd = OpenForAppending(path, 0600);
  if (fd < 0) return false;
  if (record_fd >= 0) close(record_fd);
  record_fd = fd;
  return true;
}

std::optional<std::string> ReadAnswerOrEnd() {
  // An operator who cannot see the question cannot answer it: output that
  // fails (a reader gone away, a full disk) ends the run.
  if (std::fflush(stdout) != 0) DieFor("standard output");
  char* buffer = nullptr;
  size_t size = 0;
  ssize_t length = getline(&buffer, &size, stdin);
  if (length < 0) {
    std::free(buffer);
    return std::nullopt;
  }
  Record(buffer, static_cast<size_t>(length));
  // The answer is a C string: it ends at its line end or at a NUL byte.
  std::string answer(buffer, static_cast<size_t>(length));
  std::free(buffer);
  size_t end = answer.find_first_of(std::string("\n\0", 2));
  if (end != std::string::npos) answer.erase(end);
  return answer;
}
