#include "common/answerline.hpp"

#include <cstdio>
#include <cstdlib>

#include "common/textfile.hpp"

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
  // The answer is a C string: it ends at its line end or at a NUL byte.
  std::string answer(buffer, static_cast<size_t>(length));
  std::free(buffer);
  size_t end = answer.find_first_of(std::string("\n\0", 2));
  if (end != std::string::npos) answer.erase(end);
  return answer;
}
