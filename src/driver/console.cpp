#include "driver/console.hpp"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "driver/installc.hpp"
#include "messages/print.hpp"

std::optional<std::string> ReadAnswerOrEnd() {
  std::fflush(stdout);
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

std::string ReadAnswer() {
  std::optional<std::string> answer = ReadAnswerOrEnd();
  if (!answer) exite(1);
  return *answer;
}

std::string Ask(int message, const std::string& suffix) {
  hprintf(message);
  std::fputs(suffix.c_str(), stdout);
  return ReadAnswer();
}

bool MoreWanted() {
  hprintf(22);
  std::fputs(" [yes] ", stdout);
  std::optional<std::string> answer = ReadAnswerOrEnd();
  return !answer || answer->empty() || IsYes(*answer);
}

int strcmpe(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool IsYes(const std::string& answer) {
  return strcmpe(answer, "y") == 0 || strcmpe(answer, "ye") == 0 || strcmpe(answer, "yes") == 0;
}

bool IsNo(const std::string& answer) {
  return strcmpe(answer, "n") == 0 || strcmpe(answer, "no") == 0;
}

int Quit(const std::string& answer) {
  for (const char* word : {"q", "qu", "qui", "quit"}) {
    if (strcmpe(answer, word) == 0) return 1;
  }
  return 0;
}

int Quit2() {
  for (;;) {
    std::string answer = Ask(39, " [yes] ");
    if (answer.empty() || IsYes(answer)) return 1;
    if (IsNo(answer) || answer == "^") return 0;
    if (answer == "?") {
      std::fputs("\n", stdout);
      nprintf(40);
      std::fputs("\n", stdout);
    }
  }
}

bool QuitDeclined(const std::string& answer) {
  if (!Quit(answer)) return false;
  if (Quit2()) exite(0);
  return true;
}
